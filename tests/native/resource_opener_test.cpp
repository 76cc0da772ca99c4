#include "settings/resource_opener.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "settings_fixture.h"

namespace {

// The opener joins a folder and a name with "\": on this host that makes one file name.
std::string Joined(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

class OpenerTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ClearRegisteredPlaces();
    SetBaseFolderPrefix("");
    SetPlainFileSwitch(1);
  }
  void TearDown() override {
    ClearRegisteredPlaces();
    SetBaseFolderPrefix("");
    SetPlainFileSwitch(0);
    TempFolderTest::TearDown();
  }

  // Content of what an attempt opens (from its position), or nothing.
  static std::optional<std::string> Opened(const char* path, std::size_t limit = 1024) {
    std::FILE* file = AttemptOpenSetupFile(path, "rb");
    if (!file) return std::nullopt;
    std::string text = ReadAll(file);
    std::fclose(file);
    return text.substr(0, limit);
  }

  static std::optional<std::string> Found(const char* path) {
    char result[kPathBuffer];
    std::memset(result, 'x', sizeof result);
    const char* found = FindSetupFile(path, result);
    if (!found) {
      EXPECT_STREQ(result, "");
      return std::nullopt;
    }
    EXPECT_EQ(found, result);
    return std::string(result);
  }
};

struct OrderRow {
  const char* name;
  const char* file;     // one of x.txt, x.ogg, x.WAV
  const char* prefix;
  int plain_switch;
  bool register_folder;
  std::optional<std::string> expected;  // which copy opens
};

class SearchOrder : public OpenerTest, public ::testing::WithParamInterface<OrderRow> {};

TEST_P(SearchOrder, PicksTheFirstPlaceInOrder) {
  const OrderRow& row = GetParam();
  std::filesystem::create_directory("pre");
  WriteFile(row.file, "plain");
  WriteFile(std::string("pre/") + row.file, "prefix");
  WriteFile(Joined("reg", row.file), "registered");
  ASSERT_TRUE(SetBaseFolderPrefix(row.prefix));
  SetPlainFileSwitch(row.plain_switch);
  if (row.register_folder) RegisterFolderPlace("reg", {row.file});
  EXPECT_EQ(Opened(row.file), row.expected);
  // The find operation walks the same order.
  const std::optional<std::string> where = Found(row.file);
  EXPECT_EQ(where.has_value(), row.expected.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Opener, SearchOrder,
    ::testing::Values(
        OrderRow{"PlainFirst", "x.txt", "", 1, true, "plain"},
        OrderRow{"SwitchOffGoesToList", "x.txt", "", 0, true, "registered"},
        OrderRow{"SwitchOffNothingElse", "x.txt", "", 0, false, std::nullopt},
        OrderRow{"PrefixBeforeList", "x.txt", "pre/", 1, true, "prefix"},
        OrderRow{"FailedPrefixSkipsPlain", "x.txt", "gone/", 1, true, "registered"},
        OrderRow{"FailedPrefixNoList", "x.txt", "gone/", 1, false, std::nullopt},
        OrderRow{"SoundListFirst", "x.ogg", "", 1, true, "registered"},
        OrderRow{"SoundUpperCaseListFirst", "x.WAV", "pre/", 1, true, "registered"},
        OrderRow{"SoundPlainAfterList", "x.ogg", "", 1, false, "plain"},
        OrderRow{"SoundPrefixAfterList", "x.WAV", "pre/", 1, false, "prefix"},
        OrderRow{"SoundFailedPrefixSkipsPlain", "x.ogg", "gone/", 1, false, std::nullopt},
        OrderRow{"SoundSwitchOff", "x.ogg", "", 0, false, std::nullopt}),
    [](const ::testing::TestParamInfo<OrderRow>& info) { return std::string(info.param.name); });

TEST_F(OpenerTest, FolderPartsNeverReachTheList) {
  RegisterFolderPlace("reg", {"x.txt", "x.ogg"});
  WriteFile(Joined("reg", "x.txt"), "registered");
  WriteFile(Joined("reg", "x.ogg"), "registered");
  WriteFile(Joined("sub", "x.txt"), "direct");
  WriteFile(Joined("sub", "x.ogg"), "direct");
  EXPECT_EQ(Opened("sub\\x.txt"), "direct");          // opens unchanged
  EXPECT_EQ(Opened("gone\\x.txt"), std::nullopt);     // no list search
  EXPECT_EQ(Opened("sub\\x.ogg"), std::nullopt);      // sound: no direct open at all
  EXPECT_EQ(Found("gone\\x.txt"), std::nullopt);
  EXPECT_EQ(Found("sub\\x.ogg"), std::nullopt);
  EXPECT_EQ(Found("sub\\x.txt"), "sub\\x.txt");
}

TEST_F(OpenerTest, NameTableTriesEveryMatchingRecord) {
  SetPlainFileSwitch(0);
  PlaceRecord place;
  place.kind = kFolderPlace;
  place.name_table = {{NameKey("other.txt"), "a"}, {NameKey("x.txt"), "missing"}, {NameKey("x.txt"), "b"}};
  RegisterPlace(place);
  WriteFile(Joined("b", "x.txt"), "from b");
  EXPECT_EQ(Opened("x.txt"), "from b");
  // Find answers from the table, without testing the file.
  EXPECT_EQ(Found("x.txt"), Joined("missing", "x.txt"));
}

TEST_F(OpenerTest, ArchiveIndexFindsEveryEntryAtItsOffset) {
  SetPlainFileSwitch(0);
  std::string archive = "HEADER..";
  std::vector<std::pair<std::string, std::uint32_t>> entries;
  bool high_key = false, low_key = false;
  for (int i = 0; i < 64; ++i) {
    const std::string name = "file" + std::to_string(i) + ".dat";
    entries.emplace_back(name, static_cast<std::uint32_t>(archive.size()));
    archive += "<" + name + ">";
    (NameKey(name.c_str()) & 0x80000000u ? high_key : low_key) = true;
  }
  ASSERT_TRUE(high_key && low_key) << "keys must cover both halves to test the unsigned order";
  WriteFile("pack.arc", archive);
  RegisterArchivePlace("pack.arc", entries);
  for (const auto& [name, offset] : entries) {
    EXPECT_EQ(Opened(name.c_str(), name.size() + 2), "<" + name + ">") << name;
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(Found(upper.c_str()), "pack.arc") << upper;
  }
  EXPECT_EQ(Opened("file64.dat"), std::nullopt);
}

TEST_F(OpenerTest, PlacesAreWalkedInOrderAndFailuresMoveOn) {
  SetPlainFileSwitch(0);
  RegisterArchivePlace("missing.arc", {{"x.txt", 0}});  // indexed, but the archive is gone
  PlaceRecord odd;
  odd.kind = 2;                                          // unknown kind: skipped
  odd.name_table = {{NameKey("x.txt"), "odd"}};
  RegisterPlace(odd);
  PlaceRecord indexed_folder;                            // kind 0 without table uses its index
  indexed_folder.kind = kFolderPlace;
  indexed_folder.archive_path = "second.arc";
  indexed_folder.index = {{NameKey("x.txt"), 3, 0}};
  RegisterPlace(indexed_folder);
  WriteFile(Joined("odd", "x.txt"), "odd");
  WriteFile("second.arc", "...second");
  EXPECT_EQ(Opened("x.txt"), "second");
  // Find does not open the archive: the first place with the key answers.
  EXPECT_EQ(Found("x.txt"), "missing.arc");
}

TEST_F(OpenerTest, JoinedPathsBeyondTheBufferAreSkipped) {
  SetPlainFileSwitch(0);
  const std::string deep(255, 'd');
  RegisterFolderPlace(deep, {"x.txt"});      // 255 + 1 + 5 bytes: does not fit 259
  RegisterFolderPlace("near", {"x.txt"});
  EXPECT_EQ(Found("x.txt"), Joined("near", "x.txt"));
  EXPECT_FALSE(SetBaseFolderPrefix(std::string(260, 'p').c_str()));
  EXPECT_TRUE(SetBaseFolderPrefix(std::string(259, 'p').c_str()));
  SetPlainFileSwitch(1);
  WriteFile("x.txt", "plain");
  EXPECT_EQ(Opened("x.txt"), std::nullopt);  // prefix + path is too long; plain is not tried
}

TEST(NameKey, IsZlibCrcOfTheLowerCasedFileName) {
  EXPECT_EQ(NameKey("123456789"), 0xCBF43926u);  // the CRC-32 check value
  EXPECT_EQ(NameKey("Install.ENV"), NameKey("install.env"));
  EXPECT_EQ(NameKey("dir/sub\\install.env"), NameKey("install.env"));
  EXPECT_EQ(NameKey("C:install.env"), NameKey("install.env"));
  EXPECT_EQ(NameKey("ＡＢ.txt"), NameKey("ａｂ.txt"));
  EXPECT_NE(NameKey("install.env"), NameKey("install.env "));
  // 表 ends in 5C: not a folder separator.
  EXPECT_NE(NameKey("表.txt"), NameKey(".txt"));
}

TEST(SoundPath, ByExtensionInAnyCase) {
  struct Row {
    const char* path;
    bool sound;
  };
  const Row rows[] = {{"a.ogg", true},      {"A.OGG", true},        {"b.Wav", true},  {"se\\c.wAv", true},
                      {"c.wave", false},    {"ogg", false},         {"x.ogg.txt", false},
                      {"d.ogg\\x", false},  {"bgm.ogg ", false},    {".ogg", true},   {"install.env", false}};
  for (const Row& row : rows) EXPECT_EQ(IsSoundPath(row.path), row.sound) << row.path;
}

}  // namespace
