// The write loops and the machine test with REG_GLOBAL, REG_LOCAL, INI_FILE and
// INI_SECTION all absent (their "-" defaults are read once per process).
#include <gtest/gtest.h>

#include <string>

#include "settings/section_lists.h"
#include "settings/setting_list.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"
#include "system/registry_win.h"

namespace {

TEST(RegistryDefaults, DashNamesTheIniFileAndStopsTheRegValues) {
  LoadSettingsText("TITLEBAR Defaults\n"
                   "[ini]\n"
                   "Path=REP_INSTALL\n"
                   "-\n"
                   "[reg]\n"
                   R"("InstTo"="REP_INSTALL")" "\n"
                   "-\n");
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  const std::string ini = std::string(windows) + "\\-";
  DeleteFileA(ini.c_str());
  DeleteTree(HKEY_CURRENT_USER, "Software\\-");

  static char install[] = "C:\\Games\\Game";
  SetInstallFolderPointer(install);
  char key[kSplitBuffer];
  char value[kSplitBuffer];
  WriteIniEntries(key, value);
  WriteRegValues(key, value);

  char text[512] = "";
  GetPrivateProfileStringA("-", "Path", "", text, sizeof text, ini.c_str());
  EXPECT_STREQ(text, install) << "the entry lands in the file \"-\" of the Windows folder";
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\-")) << "no [reg] value is written";

  // The machine test still runs, on Software\-\-.
  EXPECT_EQ(TestMachineKey(SettingRegGlobal(), SettingRegLocal()), 0);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\-\\-"));
}

}  // namespace
