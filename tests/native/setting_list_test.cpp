#include "settings/setting_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>
#include <string>

#include "settings/resource_opener.h"
#include "settings_fixture.h"

namespace {

class SettingListTest : public LoadedSettingsTest {
 protected:
  static std::optional<std::string> Lookup(const char* key) {
    char buffer[1024];
    const char* absent = "\x01" "absent";
    GetSettingText(key, buffer, sizeof buffer, absent);
    if (std::strcmp(buffer, absent) == 0) return std::nullopt;
    return std::string(buffer);
  }
};

struct LineRule {
  const char* name;
  std::string file;
  const char* key;
  std::optional<std::string> value;
};

const std::string k99(99, ' ');
const std::string k100(100, ' ');

class SettingLineRules : public SettingListTest, public ::testing::WithParamInterface<LineRule> {};

TEST_P(SettingLineRules, GiveTheExpectedEntry) {
  const LineRule& rule = GetParam();
  Load(rule.file);
  EXPECT_EQ(Lookup(rule.key), rule.value) << rule.name;
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, SettingLineRules,
    ::testing::Values(
        LineRule{"BarIsSpace", "INSTTO My|Game\n", "INSTTO", "My Game"},
        LineRule{"BlankEndsValue", "INSTTO My Game\n", "INSTTO", "My"},
        LineRule{"TabSeparates", "INSTTO\t\tTabbed\n", "INSTTO", "Tabbed"},
        LineRule{"CrLfLine", "INSTTO Win\r\nEXENAME a.exe\r\n", "EXENAME", "a.exe"},
        LineRule{"KeyAloneGivesNothing", "EXENAME\n", "EXENAME", std::nullopt},
        LineRule{"KeyAndBlanksGiveNothing", "EXENAME   \t \n", "EXENAME", std::nullopt},
        LineRule{"FirstDuplicateWins", "INSTTO first\nINSTTO second\n", "INSTTO", "first"},
        LineRule{"KeysAreCaseSensitive", "instto lower\n", "INSTTO", std::nullopt},
        LineRule{"LowerCaseKeyIsItsOwn", "instto lower\n", "instto", "lower"},
        LineRule{"IndentedBySpace", " INSTTO x\n", "INSTTO", std::nullopt},
        LineRule{"IndentedByTab", "\tINSTTO x\n", "INSTTO", std::nullopt},
        LineRule{"SlashComment", "/INSTTO x\n", "/INSTTO", std::nullopt},
        LineRule{"SemicolonIsAKey", "; note here\n", ";", "note"},
        LineRule{"NinetyNineSeparators", "INSTTO" + k99 + "far\n", "INSTTO", "far"},
        LineRule{"HundredSeparators", "INSTTO" + k100 + "far\n", "INSTTO", std::nullopt},
        LineRule{"MixedSeparatorsCount", "INSTTO" + std::string(50, ' ') + std::string(49, '\t') + "v\n",
                 "INSTTO", "v"},
        LineRule{"SectionHeaderGivesNothing", "[ini]\n", "[ini]", std::nullopt},
        LineRule{"SectionLineKeyedByFirstWord", "[reg]\n\"a\"=\"b c\"\n-\n", "\"a\"=\"b", "c\""},
        // ポ is 83 7C: its trail byte is a "|" that must stay.
        LineRule{"BarTrailByteStays", "INSTTO ポ|A\n", "INSTTO", "ポ A"},
        LineRule{"LeadingBarKeepsSpace", "INSTFOL |x|\n", "INSTFOL", " x "},
        LineRule{"BareEofDoesNotEnd", "EOF\nINSTTO after\n", "INSTTO", "after"},
        LineRule{"BracketEofEnds", "INSTTO before\n[EOF]\nEXENAME after.exe\n", "EXENAME", std::nullopt},
        LineRule{"BracketEofPrefixEnds", "[EOF] tail\nINSTTO x\n", "INSTTO", std::nullopt},
        LineRule{"IndentedBracketEofDoesNotEnd", " [EOF]\nINSTTO x\n", "INSTTO", "x"},
        LineRule{"NoFinalNewline", "INSTTO last", "INSTTO", "last"},
        LineRule{"NulActsAsSeparator", std::string("INSTTO\0val\n", 11), "INSTTO", "val"}),
    [](const ::testing::TestParamInfo<LineRule>& info) { return std::string(info.param.name); });

TEST_F(SettingListTest, LongLineContinuesAsNextRead) {
  // 511 bytes per read: the key line's tail becomes a key of its own, without a value.
  Load("INSTTO " + std::string(600, 'x') + "\nEXENAME e.exe\n");
  EXPECT_EQ(Lookup("INSTTO"), std::string(504, 'x'));
  EXPECT_EQ(Lookup(std::string(96, 'x').c_str()), std::nullopt);
  EXPECT_EQ(Lookup("EXENAME"), "e.exe");
}

TEST_F(SettingListTest, ReadsAtMostFourHundredLines) {
  struct Row {
    const char* name;
    int filler;         // comment lines before the key line
    bool long_filler;   // one filler line takes two reads
    bool expect_found;
  };
  const Row rows[] = {
      {"key on line 400", 399, false, true},
      {"key on line 401", 400, false, false},
      {"long line pushes key to read 401", 398, true, false},
      {"long line, key on read 400", 397, true, true},
  };
  for (const Row& row : rows) {
    ResetSettingsForTesting();
    std::string text;
    for (int i = 0; i < row.filler; ++i) text += "// filler\n";
    if (row.long_filler) text += "LONG " + std::string(700, 'y') + "\n";
    text += "INSTTO found\n";
    Load(text);
    EXPECT_EQ(Lookup("INSTTO").has_value(), row.expect_found) << row.name;
  }
}

TEST_F(SettingListTest, TextLookupTruncatesAndTerminates) {
  Load("TITLEBAR " + std::string(200, 'T') + "\nINSTTO abcdef\n");
  EXPECT_EQ(std::string(SettingTitleBar()), std::string(127, 'T'));
  EXPECT_EQ(std::string(SettingStartupTitle()), std::string(127, 'T') + " スタートアップ");

  char small[4];
  std::memset(small, 'Z', sizeof small);
  EXPECT_STREQ(GetSettingText("INSTTO", small, sizeof small, "-"), "abc");
  EXPECT_STREQ(GetSettingText("ABSENT", small, sizeof small, "defaults"), "def");
  char one[1] = {'Q'};
  EXPECT_STREQ(GetSettingText("INSTTO", one, sizeof one, "-"), "");

  // The default may be the destination itself: an absent key leaves it as it is.
  char own[16] = "kept text";
  EXPECT_STREQ(GetSettingText("ABSENT", own, sizeof own, own), "kept text");
  EXPECT_STREQ(GetSettingText("INSTTO", own, sizeof own, own), "abcdef");
}

TEST_F(SettingListTest, TruncationMayEndOnLeadByte) {
  // 126 ASCII bytes then ア (83 41): the 127-byte copy keeps only the lead byte.
  Load("INSTTO " + std::string(126, 'a') + "ア\n");
  const std::string title = SettingInstTo();
  ASSERT_EQ(title.size(), 127u);
  EXPECT_EQ(static_cast<unsigned char>(title.back()), 0x83);
}

TEST_F(SettingListTest, IntegerLookupConvertsLikeAtoi) {
  struct Row {
    const char* value;
    int expected;
  };
  const Row rows[] = {{"1x", 1}, {"x1", 0}, {"-12", -12}, {"+7", 7}, {"|42", 42},
                      {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}};
  for (const Row& row : rows) {
    ResetSettingsForTesting();
    Load(std::string("INSTMAKEFOL ") + row.value + "\n");
    EXPECT_EQ(GetSettingInt("INSTMAKEFOL", 5), row.expected) << row.value;
  }
  ResetSettingsForTesting();
  Load("INSTTO x\n");
  EXPECT_EQ(GetSettingInt("INSTMAKEFOL", 5), 5);
  EXPECT_EQ(SettingInstMakeFol(), 0);
}

TEST_F(SettingListTest, MakeFolderIsCachedUnlessMinusOne) {
  Load("INSTMAKEFOL 1x\n");
  EXPECT_EQ(SettingInstMakeFol(), 1);
  FreeSettingList();
  Load("INSTMAKEFOL 0\n");
  EXPECT_EQ(SettingInstMakeFol(), 1);  // cached

  ResetSettingsForTesting();
  Load("INSTMAKEFOL -1\n");
  EXPECT_EQ(SettingInstMakeFol(), -1);
  FreeSettingList();
  Load("INSTMAKEFOL 3\n");
  EXPECT_EQ(SettingInstMakeFol(), 3);  // -1 is never taken as cached
}

TEST_F(SettingListTest, AccessorDefaultsWithoutFile) {
  EXPECT_EQ(LoadSettingList("missing.env"), -1);
  EXPECT_STREQ(SettingRegGlobal(), "-");
  EXPECT_STREQ(SettingRegLocal(), "-");
  EXPECT_STREQ(SettingIniFile(), "-");
  EXPECT_STREQ(SettingIniSection(), "-");
  EXPECT_STREQ(SettingTitleBar(), "ＶＥＬＵＮＡ アプリケーション");
  EXPECT_STREQ(SettingStartupTitle(), "ＶＥＬＵＮＡ アプリケーション スタートアップ");
  EXPECT_EQ(SettingInstGroup(), nullptr);
  EXPECT_STREQ(SettingInstTo(), "VELUNA_APP");
  EXPECT_EQ(SettingInstFol(), nullptr);
  EXPECT_STREQ(SettingExeName(), "veluna.exe");
  EXPECT_EQ(SettingInstMakeFol(), 0);
}

TEST_F(SettingListTest, AccessorsReadTheirKeys) {
  Load("REG_GLOBAL Maker\nREG_LOCAL Game\nINI_FILE game.ini\nINI_SECTION Main\n"
       "TITLEBAR 私の|ゲーム\nINST_GROUP Maker|Soft\nINSTTO MyGame\nINSTFOL Games\n"
       "EXENAME play.exe\n");
  EXPECT_STREQ(SettingRegGlobal(), "Maker");
  EXPECT_STREQ(SettingRegLocal(), "Game");
  EXPECT_STREQ(SettingIniFile(), "game.ini");
  EXPECT_STREQ(SettingIniSection(), "Main");
  EXPECT_STREQ(SettingTitleBar(), "私の ゲーム");
  EXPECT_STREQ(SettingStartupTitle(), "私の ゲーム スタートアップ");
  EXPECT_STREQ(SettingInstGroup(), "Maker Soft");
  EXPECT_STREQ(SettingInstTo(), "MyGame");
  EXPECT_STREQ(SettingInstFol(), "Games");
  EXPECT_STREQ(SettingExeName(), "play.exe");
}

TEST_F(SettingListTest, CachedAccessorsConsultTheListOnce) {
  Load("REG_GLOBAL first\nTITLEBAR first\n");
  EXPECT_STREQ(SettingRegGlobal(), "first");
  EXPECT_STREQ(SettingTitleBar(), "first");
  FreeSettingList();
  Load("REG_GLOBAL second\nTITLEBAR second\n");
  EXPECT_STREQ(SettingRegGlobal(), "first");
  EXPECT_STREQ(SettingTitleBar(), "second");
}

TEST_F(SettingListTest, ReadmeKeysFallBackLikeTheShortcutDoes) {
  // INSTREADMEFL read over the HELP_FILE result held in the same buffer.
  struct Row {
    const char* file;
    const char* target;
  };
  const Row rows[] = {{"HELP_FILE help.chm\n", "help.chm"},
                      {"HELP_FILE help.chm\nINSTREADMEFL read.txt\n", "read.txt"},
                      {"INSTTO x\n", ""}};
  for (const Row& row : rows) {
    ResetSettingsForTesting();
    Load(row.file);
    char buffer[260];
    GetSettingText("HELP_FILE", buffer, sizeof buffer, "");
    GetSettingText("INSTREADMEFL", buffer, sizeof buffer, buffer);
    EXPECT_STREQ(buffer, row.target) << row.file;
  }
}

TEST_F(SettingListTest, OpensThroughTheInstalledOpenerInTextMode) {
  static std::string seen_mode;
  static std::string seen_path;
  SetSettingFileOpener([](const char* path, const char* mode) {
    seen_path = path;
    seen_mode = mode;
    return std::fopen("elsewhere.env", "r");
  });
  WriteFile("elsewhere.env", "INSTTO redirected\n");
  EXPECT_EQ(LoadSettingList("install.env"), 0);
  EXPECT_EQ(seen_path, "install.env");
  EXPECT_EQ(seen_mode, "rt");
  EXPECT_EQ(Lookup("INSTTO"), "redirected");
}

TEST_F(SettingListTest, LoadsAppendInFileOrder) {
  Load("A 1\n");
  WriteFile("more.env", "A 2\nB 3\n");
  ASSERT_EQ(LoadSettingList("more.env"), 0);
  EXPECT_EQ(Lookup("A"), "1");
  EXPECT_EQ(Lookup("B"), "3");
}

TEST(SettingLineParse, ReportsWhyALineGivesNothing) {
  struct Row {
    std::string line;
    SettingLineKind kind;
    std::size_t ignored_from;
  };
  const Row rows[] = {
      {"[EOF]\n", SettingLineKind::kEnd, 0},
      {"\n", SettingLineKind::kBlank, 0},
      {"  X y\n", SettingLineKind::kBlank, 0},
      {"// c\n", SettingLineKind::kComment, 0},
      {"KEY\n", SettingLineKind::kNoValue, 0},
      {"KEY" + k100 + "v\n", SettingLineKind::kValueTooFar, 0},
      {"KEY v\n", SettingLineKind::kEntry, 0},
      {"KEY v w\n", SettingLineKind::kEntry, 6},
  };
  for (const Row& row : rows) {
    char buffer[kSettingLineBuffer] = {};
    std::memcpy(buffer, row.line.data(), row.line.size());
    const SettingLine parsed = ParseSettingLine(buffer);
    EXPECT_EQ(parsed.kind, row.kind) << row.line;
    EXPECT_EQ(parsed.ignored_from, row.ignored_from) << row.line;
  }
}

}  // namespace
