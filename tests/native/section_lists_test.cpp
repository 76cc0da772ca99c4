#include "settings/section_lists.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings_fixture.h"

namespace {

using Lines = std::vector<std::string>;

Lines ListOf(Section which) {
  Lines lines;
  for (const SectionLine* line = SectionListHead(which); line; line = line->next) lines.push_back(line->text);
  return lines;
}

class SectionListsTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ClearAllSectionLists();
    SetSectionAllocator(nullptr);
  }
  void TearDown() override {
    ClearAllSectionLists();
    SetSectionAllocator(nullptr);
    TempFolderTest::TearDown();
  }

  SectionFileStatus Read(const std::string& text, Section* open) {
    WriteFile("install.env", text);
    return ReadSectionFile("install.env", open);
  }
};

struct GrammarRow {
  const char* name;
  std::string file;
  SectionFileStatus status;
  Section open;  // the unterminated section
  Lines delfiles, delfiles_user, ini, reg;
};

class SectionGrammar : public SectionListsTest, public ::testing::WithParamInterface<GrammarRow> {};

TEST_P(SectionGrammar, FillsTheLists) {
  const GrammarRow& row = GetParam();
  Section open = kSectionNone;
  EXPECT_EQ(Read(row.file, &open), row.status);
  EXPECT_EQ(open, row.open);
  EXPECT_EQ(ListOf(kSectionDelFiles), row.delfiles);
  EXPECT_EQ(ListOf(kSectionDelFilesUser), row.delfiles_user);
  EXPECT_EQ(ListOf(kSectionIni), row.ini);
  EXPECT_EQ(ListOf(kSectionReg), row.reg);
}

constexpr SectionFileStatus kRead = SectionFileStatus::kRead;
constexpr SectionFileStatus kUnterminated = SectionFileStatus::kUnterminated;

INSTANTIATE_TEST_SUITE_P(
    Rules, SectionGrammar,
    ::testing::Values(
        GrammarRow{"AllFourClosedAndEof",
                   "INSTTO x\n[delfiles]\na.dat\n-\n[delfiles_user]\nsave\\*.*\n-\n"
                   "[ini]\nk=v\n-\n[reg]\n\"n\"=\"v\"\n-\nEOF\n",
                   kRead, kSectionNone, {"a.dat"}, {"save\\*.*"}, {"k=v"}, {"\"n\"=\"v\""}},
        GrammarRow{"EndsWithoutEof", "[ini]\na=1\nb=2\n-\n", kRead, kSectionNone, {}, {}, {"a=1", "b=2"}, {}},
        GrammarRow{"TrailingBlanksCutLeadingKept", "[ini]\n  a=1 \t\r\n\n-\n", kRead, kSectionNone,
                   {}, {}, {"  a=1"}, {}},
        GrammarRow{"CommentsInsideNotStored", "[ini]\n// c\n; c\na=1\n-\n", kRead, kSectionNone, {}, {},
                   {"a=1"}, {}},
        GrammarRow{"IndentedCommentIsALine", "[ini]\n  // c\n-\n", kRead, kSectionNone, {}, {}, {"  // c"}, {}},
        GrammarRow{"DashLineCloses", "[ini]\na=1\n-x=2\nb=3\n", kRead, kSectionNone, {}, {}, {"a=1"}, {}},
        GrammarRow{"HeaderSwitchesWithoutDash", "[ini]\na=1\n[reg]\n\"n\"=\"v\"\n-\n", kRead, kSectionNone,
                   {}, {}, {"a=1"}, {"\"n\"=\"v\""}},
        GrammarRow{"ReopenedSectionEmptied", "[ini]\na=1\n-\n[ini]\nb=2\n-\n", kRead, kSectionNone, {}, {},
                   {"b=2"}, {}},
        GrammarRow{"HeaderWithTail", "[ini] trailing\na=1\n-\n", kRead, kSectionNone, {}, {}, {"a=1"}, {}},
        GrammarRow{"UserHeaderIsNotDelfiles", "[delfiles_user]\nu\n-\n", kRead, kSectionNone, {}, {"u"}, {}, {}},
        GrammarRow{"IndentedHeaderIsOrdinary", " [ini]\na=1\n", kRead, kSectionNone, {}, {}, {}, {}},
        GrammarRow{"BracketEofStoredInside", "[ini]\n[EOF]\na=1\n-\n", kRead, kSectionNone, {}, {},
                   {"[EOF]", "a=1"}, {}},
        GrammarRow{"BracketEofIgnoredOutside", "[EOF]\n[ini]\na=1\n-\n", kRead, kSectionNone, {}, {},
                   {"a=1"}, {}},
        GrammarRow{"EofStopsReading", "[ini]\na=1\n-\nEOF\n[reg]\n\"n\"=\"v\"\n", kRead, kSectionNone, {}, {},
                   {"a=1"}, {}},
        GrammarRow{"EofPrefixStops", "EOF here\n[ini]\n", kRead, kSectionNone, {}, {}, {}, {}},
        GrammarRow{"EofInsideOpenSection", "[reg]\n\"n\"=\"v\"\nEOF\n", kUnterminated, kSectionReg, {}, {}, {},
                   {"\"n\"=\"v\""}},
        GrammarRow{"UnclosedAtEndOfFile", "[delfiles_user]\nx\n", kUnterminated, kSectionDelFilesUser, {},
                   {"x"}, {}, {}},
        GrammarRow{"EmptyOpenSection", "[delfiles]\n", kUnterminated, kSectionDelFiles, {}, {}, {}, {}},
        GrammarRow{"SettingsLinesIgnored", "INSTTO x\nEXENAME y.exe\n; note\n", kRead, kSectionNone, {}, {},
                   {}, {}}),
    [](const ::testing::TestParamInfo<GrammarRow>& info) { return std::string(info.param.name); });

TEST_F(SectionListsTest, MissingFileCannotOpen) {
  Section open = kSectionIni;
  EXPECT_EQ(ReadSectionFile("absent.env", &open), SectionFileStatus::kCannotOpen);
  EXPECT_EQ(open, kSectionNone);
}

TEST_F(SectionListsTest, LongLineContinuesAsNextLine) {
  Section open;
  ASSERT_EQ(Read("[ini]\nk=" + std::string(600, 'v') + "\n-\n", &open), kRead);
  const Lines ini = ListOf(kSectionIni);
  ASSERT_EQ(ini.size(), 2u);
  EXPECT_EQ(ini[0].size(), 511u);
  EXPECT_EQ(ini[1], std::string(91, 'v'));
}

TEST_F(SectionListsTest, ExhaustedMemoryStopsTheRead) {
  static int budget;
  budget = 3;  // one entry and its text, then one more block
  SetSectionAllocator([](std::size_t size) -> void* { return budget-- > 0 ? std::malloc(size) : nullptr; });
  Section open;
  EXPECT_EQ(Read("[ini]\na=1\nb=2\nc=3\n-\n", &open), SectionFileStatus::kOutOfMemory);
  EXPECT_EQ(ListOf(kSectionIni), Lines{"a=1"});
}

TEST_F(SectionListsTest, ObserverSeesEveryLineAndItsEffect) {
  WriteFile("install.env", "INSTTO x\n[ini]\n;c\na=1\n-\nEOF\nnever\n");
  std::FILE* file = std::fopen("install.env", "r");
  ASSERT_NE(file, nullptr);
  std::vector<SectionLineKind> kinds;
  std::vector<bool> stored;
  Section open;
  EXPECT_EQ(ReadSectionStream(file, &open,
                              [&](const SectionLineEvent& e) {
                                kinds.push_back(e.kind);
                                stored.push_back(e.stored);
                              }),
            kRead);
  std::fclose(file);
  using K = SectionLineKind;
  EXPECT_EQ(kinds, (std::vector<K>{K::kOther, K::kHeader, K::kComment, K::kOther, K::kClose, K::kEnd}));
  EXPECT_EQ(stored, (std::vector<bool>{false, false, false, true, false, false}));
}

// Splitters --------------------------------------------------------------------------------

const std::string kLongFolder = "C:\\" + std::string(256, 'f');  // 259 bytes, the longest path

class SplitterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetInstallFolderPointer(nullptr);
    SetCdromRootSource([] { return "Q:\\"; });
  }
  void TearDown() override {
    SetInstallFolderPointer(nullptr);
    SetCdromRootSource(nullptr);
  }
};

struct SplitRow {
  const char* name;
  std::string line;
  const char* install;  // null: pointer not set
  int result;
  std::string first, second;
};

void ExpectSplit(int (*split)(const char*, char*, char*), const SplitRow& row) {
  SetInstallFolderPointer(row.install);
  char first[kSectionLineBuffer];
  char second[kSectionLineBuffer];
  std::strcpy(first, "untouched");
  std::strcpy(second, "untouched");
  EXPECT_EQ(split(row.line.c_str(), first, second), row.result) << row.name;
  if (row.result == 0) {
    EXPECT_EQ(std::string(first), row.first) << row.name;
    EXPECT_EQ(std::string(second), row.second) << row.name;
  } else {
    EXPECT_STREQ(first, "untouched") << row.name;
    EXPECT_STREQ(second, "untouched") << row.name;
  }
}

TEST_F(SplitterTest, IniLines) {
  const SplitRow rows[] = {
      {"plain", "key=value", nullptr, 0, "key", "value"},
      {"later equals in value", "a=b=c", nullptr, 0, "a", "b=c"},
      {"no trimming", " a = b ", nullptr, 0, " a ", " b "},
      {"empty key", "=v", nullptr, 0, "", "v"},
      {"empty value", "k=", nullptr, 0, "k", ""},
      {"no equals refused", "novalue", nullptr, -1, "", ""},
      {"install folder", "Path=REP_INSTALL\\data", "C:\\Games\\X", 0, "Path", "C:\\Games\\X\\data"},
      {"first install only", "P=REP_INSTALL;REP_INSTALL", "D:\\G", 0, "P", "D:\\G;REP_INSTALL"},
      {"install in key", "REP_INSTALL=1", "D:\\G", 0, "D:\\G", "1"},
      {"pointer unset keeps placeholder", "P=REP_INSTALL", nullptr, 0, "P", "REP_INSTALL"},
      {"cdrom drive", "Disc=REP_CDROMDRIVE", nullptr, 0, "Disc", "Q:\\"},
      {"first cdrom only", "D=REP_CDROMDRIVE REP_CDROMDRIVE", nullptr, 0, "D", "Q:\\ REP_CDROMDRIVE"},
      {"short cdrom name stays in ini", "D=REP_CDROM\\x", nullptr, 0, "D", "REP_CDROM\\x"},
      {"both placeholders", "A=REP_CDROMDRIVE|REP_INSTALL", "C:\\I", 0, "A", "Q:\\|C:\\I"},
      {"backslashes stay", "P=a\\\\b", nullptr, 0, "P", "a\\\\b"},
      {"fits 511 exactly", "P=" + std::string(506, 'v') + "REP_INSTALL", "C:\\", 0, "P",
       std::string(506, 'v') + "C:\\"},
      {"one byte over", "P=" + std::string(507, 'v') + "REP_INSTALL", "C:\\", -1, "", ""},
      {"too long once substituted", "P=" + std::string(260, 'v') + "REP_INSTALL", kLongFolder.c_str(), -1, "",
       ""},
      {"too long as given", "P=" + std::string(520, 'v'), nullptr, -1, "", ""},
  };
  for (const SplitRow& row : rows) ExpectSplit(SplitIniLine, row);
}

TEST_F(SplitterTest, RegLines) {
  const SplitRow rows[] = {
      {"plain", "\"Name\"=\"Value\"", nullptr, 0, "Name", "Value"},
      {"doubled backslashes", "\"Path\"=\"C:\\\\Games\\\\X\"", nullptr, 0, "Path", "C:\\Games\\X"},
      {"four give two", "\"P\"=\"a\\\\\\\\b\"", nullptr, 0, "P", "a\\\\b"},
      {"escaped quote in name", "\"a\\\"b\"=\"c\"", nullptr, 0, "a\"b", "c"},
      {"empty value", "\"n\"=\"\"", nullptr, 0, "n", ""},
      {"ends at separator", "\"n\"=\"", nullptr, 0, "n", ""},
      {"later separator in value", "\"n\"=\"v\"=\"w\"", nullptr, 0, "n", "v\"=\"w"},
      {"no separator refused", "\"n\"=value", nullptr, -1, "", ""},
      {"separator only at first byte refused", "\"=\"x\"", nullptr, -1, "", ""},
      {"cdrom", "\"Disc\"=\"REP_CDROM\"", nullptr, 0, "Disc", "Q:\\"},
      {"cdrom drive keeps DRIVE", "\"Disc\"=\"REP_CDROMDRIVE\\\\x\"", nullptr, 0, "Disc", "Q:\\DRIVE\\x"},
      {"install after unescape", "\"Dir\"=\"REP_INSTALL\\\\save\"", "C:\\G\\H", 0, "Dir", "C:\\G\\H\\save"},
      {"first install only", "\"D\"=\"REP_INSTALL REP_INSTALL\"", "C:\\G", 0, "D", "C:\\G REP_INSTALL"},
      // ソ and 表 end in 5C: those trail bytes are not escapes.
      {"trail bytes survive", "\"ソ\"=\"表\"", nullptr, 0, "ソ", "表"},
      {"too long once substituted", "\"n\"=\"" + std::string(250, 'v') + "REP_INSTALL\"", kLongFolder.c_str(),
       -1, "", ""},
  };
  for (const SplitRow& row : rows) ExpectSplit(SplitRegLine, row);
}

TEST(Unescape, RemovesOneBackslashPerEscape) {
  struct Row {
    const char* in;
    const char* out;
  };
  const Row rows[] = {
      {"plain", "plain"},          {"a\\\\b", "a\\b"},       {"a\\b", "ab"},
      {"end\\", "end"},            {"\\\\\\\\", "\\\\"},     {"\\\\\\", "\\"},
      {"\\\"q\\\"", "\"q\""},      {"", ""},                 {"表\\\\", "表\\"},
  };
  for (const Row& row : rows) EXPECT_STREQ(UnescapeBackslashes(row.in), row.out) << row.in;
  EXPECT_EQ(UnescapeBackslashes(std::string(512, 'x').c_str()), nullptr);
  EXPECT_NE(UnescapeBackslashes(std::string(511, 'x').c_str()), nullptr);
}

TEST_F(SplitterTest, SubstitutionBuffersAreSeparate) {
  SetInstallFolderPointer("C:\\I");
  const char* ini = SubstituteIniPlaceholders("REP_CDROMDRIVE REP_CDROM");
  const char* reg = SubstituteRegistryPlaceholders("REP_CDROMDRIVE REP_INSTALL");
  EXPECT_STREQ(ini, "Q:\\ REP_CDROM");
  EXPECT_STREQ(reg, "Q:\\DRIVE C:\\I");
}

TEST(CdromDefault, WithoutProbeRootIsE) {
  SetCdromRootSource(nullptr);
  EXPECT_STREQ(SubstituteIniPlaceholders("REP_CDROMDRIVE"), "E:\\");
}

}  // namespace
