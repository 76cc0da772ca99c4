#include "system/folder_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kWindows[] = "C:\\WINDOWS";

struct NormaliseRow {
  const char* typed;
  const char* inst_fol;
  int make_fol;
  FolderVerdict verdict;
  const char* path;  // expected when accepted
};

TEST(NormaliseInstallFolder, TypedTextRules) {
  const std::vector<NormaliseRow> rows = {
      {"D:/Games/Game", "", 0, FolderVerdict::kAccepted, "D:\\Games\\Game"},
      {"\\\\server\\share\\Game", "", 0, FolderVerdict::kNetwork, ""},
      {"//server/share/Game", "", 0, FolderVerdict::kNetwork, ""},
      {"C:\\\\Game", "", 0, FolderVerdict::kNetwork, ""},
      {"C:\\Games\\\\", "", 0, FolderVerdict::kNetwork, ""},
      {"D:\\Games\\", "", 0, FolderVerdict::kAccepted, "D:\\Games"},
      {"D:", "", 0, FolderVerdict::kRoot, ""},
      {"D:\\", "", 0, FolderVerdict::kRoot, ""},
      {"D:/", "", 0, FolderVerdict::kRoot, ""},
      {"", "", 0, FolderVerdict::kRoot, ""},
      {"Games", "", 0, FolderVerdict::kAccepted, "C:\\Games"},
      {"\\Games", "", 0, FolderVerdict::kAccepted, "C:\\Games"},
      {"C:Games", "", 0, FolderVerdict::kAccepted, "C:\\Games"},
      // The make-folder rule appends only when INSTTO does not occur anywhere.
      {"D:\\Apps", "", 1, FolderVerdict::kAccepted, "D:\\Apps\\Game"},
      {"D:\\Apps", "Maker", 1, FolderVerdict::kAccepted, "D:\\Apps\\Maker\\Game"},
      {"D:\\Apps\\", "", 1, FolderVerdict::kAccepted, "D:\\Apps\\Game"},
      {"D:\\MyGame", "Maker", 1, FolderVerdict::kAccepted, "D:\\MyGame"},
      // "Games" holds "Game" as part of the longer name, so nothing is appended.
      {"D:\\Games", "Maker", 1, FolderVerdict::kAccepted, "D:\\Games"},
      {"D:\\game", "", 1, FolderVerdict::kAccepted, "D:\\game\\Game"},
      {"D:", "", 1, FolderVerdict::kAccepted, "D:\\Game"},
      {"", "", 1, FolderVerdict::kAccepted, "C:\\Game"},
      // ソ is 83 5C: its trail byte is neither stripped nor a root, nor a network pair.
      {"D:\\ソ", "", 0, FolderVerdict::kAccepted, "D:\\ソ"},
      {"D:\\ソ\\", "", 0, FolderVerdict::kAccepted, "D:\\ソ"},
      {"D:/ソ/表", "", 0, FolderVerdict::kAccepted, "D:\\ソ\\表"},
      // Only the first pair is judged: excused by the lead byte, the real pair behind it passes.
      {"D:\\ソ\\\\x", "", 0, FolderVerdict::kAccepted, "D:\\ソ\\\\x"},
  };
  for (const NormaliseRow& row : rows) {
    const FolderNames names{"Game", row.inst_fol, row.make_fol};
    const NormalisedFolder result = NormaliseInstallFolder(row.typed, kWindows, names);
    EXPECT_EQ(result.verdict, row.verdict) << "typed: " << row.typed;
    if (row.verdict == FolderVerdict::kAccepted) {
      EXPECT_EQ(result.path, row.path) << row.typed;
    }
  }
}

TEST(NormaliseInstallFolder, WindowsFolderGivesTheDrive) {
  const FolderNames names{"Game", "", 0};
  EXPECT_EQ(NormaliseInstallFolder("Games", "E:\\WINNT", names).path, "E:\\Games");
  // Without a colon to borrow the path stays relative, and is accepted as it is.
  EXPECT_EQ(NormaliseInstallFolder("Games", "WINDOWS", names).path, "Games");
}

TEST(NormaliseInstallFolder, RefusesWhatDoesNotFitInsteadOfCutting) {
  const FolderNames plain{"Game", "", 0};
  const std::string fits = "D:\\" + std::string(256, 'a');  // 259 bytes
  EXPECT_EQ(NormaliseInstallFolder(fits, kWindows, plain).path, fits);
  EXPECT_EQ(NormaliseInstallFolder(fits + "a", kWindows, plain).verdict, FolderVerdict::kTooLong);
  // Growth by the drive and separator rules counts too.
  EXPECT_EQ(NormaliseInstallFolder(std::string(256, 'a'), kWindows, plain).verdict,
            FolderVerdict::kAccepted);
  EXPECT_EQ(NormaliseInstallFolder(std::string(257, 'a'), kWindows, plain).verdict,
            FolderVerdict::kTooLong);
  // And so does the make-folder rule's growth.
  const FolderNames make{"Game", "Maker", 1};
  const std::string base = "D:\\" + std::string(245, 'x');  // + \Maker\Game = 259
  EXPECT_EQ(NormaliseInstallFolder(base, kWindows, make).verdict, FolderVerdict::kAccepted);
  EXPECT_EQ(NormaliseInstallFolder(base + "a", kWindows, make).verdict, FolderVerdict::kTooLong);
}

TEST(ProposeInstallFolder, FromTheWindowsDrive) {
  struct Row {
    const char* windows;
    const char* inst_fol;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"C:\\WINDOWS", "", "C:\\Program Files\\Game"},
      {"C:\\WINDOWS", "Maker", "C:\\Program Files\\Maker\\Game"},
      {"D:\\WINNT\\sub", "", "D:\\Program Files\\Game"},
      {"WINDOWS", "", "Program Files\\Game"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ProposeInstallFolder(row.windows, FolderNames{"Game", row.inst_fol, 0}), row.expected);
  }
}

TEST(AppendBrowsedFolder, AppendingRules) {
  struct Row {
    const char* picked;
    const char* inst_fol;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"D:\\Games", "Maker", "D:\\Games\\Maker\\Game"},
      {"D:\\Games\\Maker", "Maker", "D:\\Games\\Maker\\Game"},
      {"D:\\", "Maker", "D:\\Maker\\Game"},
      {"D:\\MakerWorks", "Maker", "D:\\MakerWorks\\Game"},
      {"D:\\maker", "Maker", "D:\\maker\\Maker\\Game"},
      // INSTTO is appended even when the folder already carries it.
      {"D:\\Games\\Game", "", "D:\\Games\\Game\\Game"},
      {"D:\\", "", "D:\\Game"},
      // A trail byte 5C does not count as a final separator.
      {"D:\\ソ", "", "D:\\ソ\\Game"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(AppendBrowsedFolder(row.picked, FolderNames{"Game", row.inst_fol, 0}), row.expected)
        << row.picked;
  }
  // INSTFOL found only at a character boundary: 表 (95 5C) + "x" must not match "\x".
  EXPECT_EQ(AppendBrowsedFolder("D:\\表x", FolderNames{"G", "\\x", 0}), "D:\\表x\\\\x\\G");
}

TEST(FolderPrefix, LevelByLevel) {
  struct Row {
    const char* path;
    int level;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"C:\\Games\\Maker\\Game", 1, "C:"},
      {"C:\\Games\\Maker\\Game", 2, "C:\\Games"},
      {"C:\\Games\\Maker\\Game", 3, "C:\\Games\\Maker"},
      {"C:\\Games\\Maker\\Game", 4, "C:\\Games\\Maker\\Game"},
      {"C:\\Games\\Maker\\Game", 9, "C:\\Games\\Maker\\Game"},
      {"C:\\", 1, "C:"},
      {"C:\\", 2, "C:\\"},
      // The search starts at the second character.
      {"\\Games\\x", 1, "\\Games"},
      {"D:\\ソ\\x", 2, "D:\\ソ"},
      {"D:\\ソ\\x", 3, "D:\\ソ\\x"},
      {"", 1, ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FolderPrefix(row.path, row.level), row.expected) << row.path << " @" << row.level;
  }
}

TEST(ReplaceExtension, KeepsDriveFolderAndBase) {
  struct Row {
    const char* path;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"C:\\TEMP\\Panvester_fullaccess.bat", "C:\\TEMP\\Panvester_fullaccess.pif"},
      {"C:\\TEMP\\a.b.bat", "C:\\TEMP\\a.b.pif"},
      {"C:\\TEMP\\name..bat", "C:\\TEMP\\name.pif"},
      {"C:\\TEMP\\name.", "C:\\TEMP\\name.pif"},
      {"C:\\TEMP\\noext", "C:\\TEMP\\noext.pif"},
      {"C:\\dir.x\\file", "C:\\dir.x\\file.pif"},
      {"C:file.bat", "C:file.pif"},
      {"C:/TEMP/file.bat", "C:/TEMP/file.pif"},
      {"C:\\表\\x.bat", "C:\\表\\x.pif"},
  };
  for (const Row& row : rows) EXPECT_EQ(ReplaceExtension(row.path, "pif"), row.expected) << row.path;
}

TEST(ParentFolderOf, CutsAtTheLastSeparator) {
  std::string parent = "untouched";
  EXPECT_EQ(ParentFolderOf("veluna.exe", &parent), 0);
  EXPECT_EQ(parent, "untouched");
  EXPECT_EQ(ParentFolderOf("C:\\Games\\Game\\veluna.exe", &parent), 1);
  EXPECT_EQ(parent, "C:\\Games\\Game");
  EXPECT_EQ(ParentFolderOf("C:\\veluna.exe", &parent), 1);
  EXPECT_EQ(parent, "C:");
  EXPECT_EQ(ParentFolderOf("D:\\ソ", &parent), 1);
  EXPECT_EQ(parent, "D:");
}

// The whole list, byte for byte: protected (nothing inherited from above), one entry that
// allows Everyone by its well-known SID (WD, not a localized name) full control (FA), inherited
// by files and folders below (OICI) and applying to the folder itself (no IO).
TEST(EveryoneFullAccessSddl, OneProtectedInheritedEntryForEveryone) {
  EXPECT_EQ(EveryoneFullAccessSddl(), "D:P(A;OICI;FA;;;WD)");
}

}  // namespace
