// What the uninstaller undoes in the registry and in INI files, and what it must leave: a
// key that holds subkeys, another product's key beside ours, INI entries of others.
#include "system/registry_win.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/section_lists.h"
#include "settings/setting_list.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

const std::string kParent = "Software\\PvUniReg";
const std::string kKey = kParent + "\\Game";

// Fresh settings for each case: the accessors cache, and sections absent from a file would
// otherwise keep the lines of the one before.
void Settings(const std::string& text) {
  ResetSettingsForTesting();
  ClearAllSectionLists();
  LoadSettingsText(text);
}

constexpr char kRegSettings[] =
    "REG_GLOBAL PvUniReg\nREG_LOCAL Game\n[reg]\n\"IsInst\"=\"1\"\n\"InstTo\"=\"REP_INSTALL\"\n-\n";

void Undo(bool with_user_data = false) {
  char name[kSplitBuffer], value[kSplitBuffer];
  RemoveUserKey(name, value, with_user_data);
}

class UninstallRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(HKEY_CURRENT_USER, kParent);
    DeleteTree(HKEY_LOCAL_MACHINE, kParent);
    SetInstallFolderPointer("C:\\Games\\Game");
  }
  void TearDown() override {
    DeleteTree(HKEY_CURRENT_USER, kParent);
    DeleteTree(HKEY_LOCAL_MACHINE, kParent);
  }
};

TEST_F(UninstallRegistry, TheGamesOwnValuesGoOnlyWithTheUserData) {
  Settings(kRegSettings);
  SetStringValue(HKEY_CURRENT_USER, kKey, "IsInst", "1");
  SetStringValue(HKEY_CURRENT_USER, kKey, "Volume", "80");  // written by the game
  Undo(false);
  EXPECT_FALSE(QueryValue(HKEY_CURRENT_USER, kKey, "IsInst").found);
  EXPECT_STREQ(QueryValue(HKEY_CURRENT_USER, kKey, "Volume").data.c_str(), "80") << "the player's setting survives a No";
  Undo(true);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kParent));

  // Nothing but what the install wrote: the key and its parent go on a No too.
  SetStringValue(HKEY_CURRENT_USER, kKey, "IsInst", "1");
  Undo(false);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kParent));

  // Another product of the same maker keeps the parent.
  SetStringValue(HKEY_CURRENT_USER, kKey, "IsInst", "1");
  SetStringValue(HKEY_CURRENT_USER, kParent + "\\Other", "IsInst", "1");
  Undo();
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
  EXPECT_TRUE(QueryValue(HKEY_CURRENT_USER, kParent + "\\Other", "IsInst").found);
}

TEST_F(UninstallRegistry, AKeyWithSubkeysIsNeverDeletedWhole) {
  // REG_GLOBAL and REG_LOCAL may name a key others use: only the [reg] values leave it.
  Settings(kRegSettings);
  SetStringValue(HKEY_CURRENT_USER, kKey, "IsInst", "1");
  SetStringValue(HKEY_CURRENT_USER, kKey, "InstTo", "C:\\Games\\Game");
  SetStringValue(HKEY_CURRENT_USER, kKey, "Volume", "80");
  SetStringValue(HKEY_CURRENT_USER, kKey + "\\Config", "Window", "1");
  Undo();
  EXPECT_FALSE(QueryValue(HKEY_CURRENT_USER, kKey, "IsInst").found);
  EXPECT_FALSE(QueryValue(HKEY_CURRENT_USER, kKey, "InstTo").found);
  EXPECT_TRUE(QueryValue(HKEY_CURRENT_USER, kKey, "Volume").found);
  EXPECT_TRUE(QueryValue(HKEY_CURRENT_USER, kKey + "\\Config", "Window").found);
}

TEST_F(UninstallRegistry, NothingWhenRegGlobalIsNone) {
  Settings("REG_LOCAL Game\n[reg]\n\"IsInst\"=\"1\"\n-\n");
  SetStringValue(HKEY_CURRENT_USER, "Software\\-\\Game", "IsInst", "1");
  Undo();
  EXPECT_TRUE(QueryValue(HKEY_CURRENT_USER, "Software\\-\\Game", "IsInst").found);
  DeleteTree(HKEY_CURRENT_USER, "Software\\-");
}

TEST_F(UninstallRegistry, TheMachineTestKeyOnlyWhileEmpty) {
  Settings(kRegSettings);
  ASSERT_EQ(TestMachineKey("PvUniReg", "Game"), 0);
  SetStringValue(HKEY_LOCAL_MACHINE, kKey, "Other", "kept");
  RemoveMachineTestKey();
  EXPECT_TRUE(QueryValue(HKEY_LOCAL_MACHINE, kKey, "Other").found) << "a value someone wrote keeps it";
  DeleteTree(HKEY_LOCAL_MACHINE, kParent);
  ASSERT_EQ(TestMachineKey("PvUniReg", "Game"), 0);
  RemoveMachineTestKey();
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kParent));
}

TEST_F(UninstallRegistry, IniKeysGoAndLeaveWhatOthersWrote) {
  const std::string folder = MakeScratchFolder("pv-uni-ini");
  const std::string file = folder + "\\game.ini";
  Settings("INI_FILE " + file + "\nINI_SECTION Install\n[ini]\nPath=REP_INSTALL\nData=REP_INSTALL\\data\n-\n");
  const struct {
    const char* label;
    std::string before;  // besides our two keys
    bool file_stays;
    const char* other_section;  // a key of another section that must stay, or none
    const char* other_key;      // a key of our section that must stay, or none
  } rows[] = {
      {"ours only", "", false, nullptr, nullptr},
      {"another key in our section", "[Install]\r\nVolume=80\r\n", true, nullptr, "Volume"},
      {"another section", "[Other]\r\nName=x\r\n", true, "Other", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    ASSERT_TRUE(wt::WriteFile(file, row.before));
    char key[kSplitBuffer], value[kSplitBuffer];
    WriteIniEntries(key, value);
    char read[512];
    GetPrivateProfileStringA("Install", "Path", "", read, sizeof read, file.c_str());
    ASSERT_STREQ(read, "C:\\Games\\Game");
    RemoveIniEntries(key, value);
    EXPECT_EQ(wt::FileExists(file), row.file_stays);
    GetPrivateProfileStringA("Install", "Path", "(none)", read, sizeof read, file.c_str());
    EXPECT_STREQ(read, "(none)");
    GetPrivateProfileStringA("Install", "Data", "(none)", read, sizeof read, file.c_str());
    EXPECT_STREQ(read, "(none)");
    if (row.other_key) {
      GetPrivateProfileStringA("Install", row.other_key, "", read, sizeof read, file.c_str());
      EXPECT_STREQ(read, "80");
    }
    if (row.other_section) {
      GetPrivateProfileStringA(row.other_section, "Name", "", read, sizeof read, file.c_str());
      EXPECT_STREQ(read, "x");
      char sections[64];
      EXPECT_EQ(GetPrivateProfileSectionNamesA(sections, sizeof sections, file.c_str()), 6u) << "only Other";
    }
    DeleteFileA(file.c_str());
  }
}

}  // namespace
