// The program's own registry key and the [ini] / [reg] write loops.
#include "system/registry_win.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/section_lists.h"
#include "settings/setting_list.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

const std::string kUserKey = "Software\\PvRegTest\\Case";

class UserRegistry : public ::testing::Test {
 protected:
  void SetUp() override { DeleteTree(HKEY_CURRENT_USER, "Software\\PvRegTest"); }
  void SetDword(const char* name, DWORD value) {
    SetRawValue(HKEY_CURRENT_USER, kUserKey, name, REG_DWORD, &value, sizeof value);
  }
};

TEST_F(UserRegistry, IntegerReadsOnlyDecimalStrings) {
  struct Row {
    const char* stored;  // nullptr: a REG_DWORD 1 instead of a string
    int expected;
  };
  const Row rows[] = {{"1", 1}, {"1st", 1}, {" 42", 42}, {"-3", -3}, {"abc", 0}, {"", 0},
                      {"0", 0}, {nullptr, 7}};
  EXPECT_EQ(ReadUserRegInt("PvRegTest", "Case", "IsInst", 7), 7) << "no key at all";
  for (const Row& row : rows) {
    if (row.stored) {
      SetStringValue(HKEY_CURRENT_USER, kUserKey, "IsInst", row.stored);
    } else {
      SetDword("IsInst", 1);
    }
    EXPECT_EQ(ReadUserRegInt("PvRegTest", "Case", "IsInst", 7), row.expected)
        << (row.stored ? row.stored : "REG_DWORD 1");
  }
}

TEST_F(UserRegistry, StringReadFallsBackToTheDefault) {
  char result[260];
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "InstTo", "D:\\Default", result, sizeof result), -1);
  EXPECT_STREQ(result, "D:\\Default");

  SetDword("InstTo", 5);
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "InstTo", "D:\\Default", result, sizeof result), -1);
  EXPECT_STREQ(result, "D:\\Default");

  SetStringValue(HKEY_CURRENT_USER, kUserKey, "InstTo", "E:\\Old\\Game");
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "Missing", "x", result, sizeof result), -1);
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "InstTo", "x", result, sizeof result), 0);
  EXPECT_STREQ(result, "E:\\Old\\Game");

  // The default may be the result buffer itself, and is cut to the buffer like a value.
  char small[8] = "D:\\Prop";
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "Missing", small, small, sizeof small), -1);
  EXPECT_STREQ(small, "D:\\Prop");
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "Missing", "0123456789", small, 5), -1);
  EXPECT_STREQ(small, "0123");
}

TEST_F(UserRegistry, StringReadLimits) {
  char result[260];
  // 511 bytes and the terminator fill the read buffer exactly; one more cannot be read.
  const std::string longest(511, 'a');
  SetStringValue(HKEY_CURRENT_USER, kUserKey, "V", longest);
  char big[600];
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "V", "def", big, sizeof big), 0);
  EXPECT_EQ(std::string(big), longest);

  SetStringValue(HKEY_CURRENT_USER, kUserKey, "V", std::string(512, 'b'));
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "V", "def", big, sizeof big), -1);
  EXPECT_STREQ(big, "def");

  SetStringValue(HKEY_CURRENT_USER, kUserKey, "V", std::string(600, 'c'));
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "V", "def", result, sizeof result), -1);
  EXPECT_STREQ(result, "def");
  SetStringValue(HKEY_CURRENT_USER, kUserKey, "IsInst", "1" + std::string(599, '0'));
  EXPECT_EQ(ReadUserRegInt("PvRegTest", "Case", "IsInst", 0), 0);

  // A 300-byte value is readable and cut to what a path buffer holds.
  const std::string value = std::string(299, 'd') + "e";
  SetStringValue(HKEY_CURRENT_USER, kUserKey, "V", value);
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "V", "def", result, sizeof result), 0);
  EXPECT_EQ(std::string(result), value.substr(0, 259));

  // Data stored without its terminator still reads as text.
  SetRawValue(HKEY_CURRENT_USER, kUserKey, "V", REG_SZ, "abc", 3);
  EXPECT_EQ(ReadUserRegString("PvRegTest", "Case", "V", "def", result, sizeof result), 0);
  EXPECT_STREQ(result, "abc");
}

TEST_F(UserRegistry, WriteCreatesTheKeyAndCountsTheTerminator) {
  ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\PvRegTest"));
  EXPECT_EQ(WriteUserRegString("PvRegTest", "Case", "InstTo", "D:\\Games\\Game"), 0);
  RegValue value = QueryValue(HKEY_CURRENT_USER, kUserKey, "InstTo");
  ASSERT_TRUE(value.found);
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value.data, std::string("D:\\Games\\Game", 14));

  EXPECT_EQ(WriteUserRegString("PvRegTest", "Case", "Empty", ""), 0);
  value = QueryValue(HKEY_CURRENT_USER, kUserKey, "Empty");
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value.data, std::string(1, '\0'));

  // What was written reads back through the program's own readers.
  EXPECT_EQ(WriteUserRegString("PvRegTest", "Case", "IsInst", "1"), 0);
  EXPECT_EQ(ReadUserRegInt("PvRegTest", "Case", "IsInst", 0), 1);
}

TEST(MachineKey, CreatedAndLeftInPlace) {
  DeleteTree(HKEY_LOCAL_MACHINE, "Software\\PvMachine");
  EXPECT_EQ(TestMachineKey("PvMachine", "-"), 0);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\PvMachine\\-"));
  EXPECT_EQ(TestMachineKey("PvMachine", "-"), 0) << "an existing key opens";
}

TEST(MachineKey, FailureIsReported) {
  ASSERT_TRUE(RefuseMachineKeysUnder("PvDenied"));
  EXPECT_EQ(TestMachineKey("PvDenied", "Game"), -1);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\PvDenied\\Game"));
}

// The write loops read INI_FILE, INI_SECTION and REG_GLOBAL once per process, so this
// program has one settings file for both.
TEST(WriteLoops, IniThenRegInFileOrder) {
  const std::string folder = MakeScratchFolder("pv-ini");
  const std::string ini = folder + "\\game.ini";
  LoadSettingsText("REG_GLOBAL PvLoops\n"
                   "INI_FILE " + ini + "\n"
                   "INI_SECTION Game\n"
                   "[ini]\n"
                   "Path=REP_INSTALL\n"
                   "Name=first\n"
                   "no equals sign\n"
                   "Name=second\n"
                   "Expr=a=b\n"
                   "-\n"
                   "[reg]\n"
                   R"("InstTo"="REP_INSTALL")" "\n"
                   R"("IsInst"="1")" "\n"
                   R"("Empty"="")" "\n"
                   R"("Esc"="C:\\x\\\\y")" "\n"
                   "no separator\n"
                   "-\n"
                   "EOF\n");
  static char install[] = "D:\\Games\\My Game";
  SetInstallFolderPointer(install);
  char key[kSplitBuffer];
  char value[kSplitBuffer];
  WriteIniEntries(key, value);
  WriteRegValues(key, value);

  char text[512];
  GetPrivateProfileStringA("Game", "Path", "", text, sizeof text, ini.c_str());
  EXPECT_STREQ(text, install);
  GetPrivateProfileStringA("Game", "Name", "", text, sizeof text, ini.c_str());
  EXPECT_STREQ(text, "second");
  GetPrivateProfileStringA("Game", "Expr", "", text, sizeof text, ini.c_str());
  EXPECT_STREQ(text, "a=b");
  // Key names in file order: Path, Name, Expr.
  char keys[512] = {};
  const DWORD n = GetPrivateProfileStringA("Game", nullptr, "", keys, sizeof keys, ini.c_str());
  EXPECT_EQ(std::string(keys, n), std::string("Path\0Name\0Expr\0", 15));

  // REG_LOCAL is absent: the values land under Software\PvLoops\-.
  const std::string user_key = "Software\\PvLoops\\-";
  EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, user_key, "InstTo").data,
            std::string(install) + std::string(1, '\0'));
  EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, user_key, "IsInst").data, std::string("1\0", 2));
  const RegValue empty = QueryValue(HKEY_CURRENT_USER, user_key, "Empty");
  EXPECT_EQ(empty.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(empty.data, std::string(1, '\0'));
  EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, user_key, "Esc").data, std::string("C:\\x\\\\y\0", 8));
  EXPECT_EQ(ReadUserRegInt(SettingRegGlobal(), SettingRegLocal(), "IsInst", 0), 1);

  // The INI file swapped for a link to a file elsewhere (the install folder is everyone's):
  // the elevated write does not go through it, neither to write nor to blank and delete.
  const std::string elsewhere = folder + "\\elsewhere.ini";
  const std::string kept = "[Game]\r\nName=kept\r\n";
  ASSERT_TRUE(wt::WriteFile(elsewhere, kept));
  ASSERT_TRUE(DeleteFileA(ini.c_str()));
  ASSERT_TRUE(wt::MakeUnixLink(ini, elsewhere));
  WriteIniEntries(key, value);
  EXPECT_EQ(wt::ReadFile(elsewhere), kept);
  RemoveIniEntries(key, value);
  EXPECT_EQ(wt::ReadFile(elsewhere), kept);
  EXPECT_NE(GetFileAttributesA(ini.c_str()), INVALID_FILE_ATTRIBUTES) << "the link itself stays";
}

}  // namespace
