// Shortcut files read back through the shell-link object, the desktop question and the
// uninstall entry.
#include "system/shortcuts_win.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "common/message_win.h"
#include "common/wide_win.h"
#include "settings/setting_list.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = "";
  EXPECT_EQ(GetSpecialFolderPath(nullptr, csidl, path), 1);
  return path;
}

// An install folder with the files the shortcuts point to.
std::string MakeInstalledGame(const char* name) {
  const std::string folder = MakeScratchFolder(name);
  for (const char* file : {"game.exe", "veluna.exe", "readme.txt", "help.txt", "UnInst.exe"}) {
    wt::WriteFile(folder + "\\" + file, "x");
  }
  return folder;
}

class Shortcuts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    SetMainWindowHandle(MakeStandInMainWindow());
  }
  void ExpectLink(const std::string& path, const std::string& target, const char* description) {
    const ShortcutInfo link = ReadShortcut(path);
    ASSERT_TRUE(link.loaded) << path;
    EXPECT_EQ(link.target, target) << path;
    EXPECT_EQ(link.description, description) << path;
    EXPECT_EQ(link.working_folder, target.substr(0, target.rfind('\\'))) << path;
  }
};

TEST_F(Shortcuts, ShellLinkCarriesTargetDescriptionAndFolder) {
  const std::string game = MakeInstalledGame("pv-link Game");
  const std::string link = game + "\\plain.LNK";
  EXPECT_GE(CreateShellLink((game + "\\game.exe").c_str(), link.c_str(), "Desc"), 0);
  EXPECT_TRUE(wt::FileExists(link)) << "saved under the name as given";
  ExpectLink(link, game + "\\game.exe", "Desc");

  // A shortcut that would have to be saved under a cut name is refused.
  const std::string too_long = game + "\\" + std::string(260, 'n') + ".LNK";
  EXPECT_LT(CreateShellLink((game + "\\game.exe").c_str(), too_long.c_str(), "Desc"), 0);
}

TEST_F(Shortcuts, StartMenuFolderWithGroupAndThreeLinks) {
  ReloadSettingList("TITLEBAR My|Game\nINST_GROUP Maker\nEXENAME game.exe\nINSTTO Game\n"
                    "INSTREADMEFL readme.txt\nHELP_FILE help.txt\n");
  const std::string game = MakeInstalledGame("pv-start");
  ASSERT_EQ(IsVistaOrLater(), 1) << "Wine reports an NT 6 system";
  EXPECT_EQ(CreateStartMenuShortcuts(game.c_str()), 0);
  const std::string folder = SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\Maker\\My Game\\";
  ExpectLink(folder + "My Game.LNK", game + "\\game.exe", "Game");
  ExpectLink(folder + "My Game お読みください.LNK", game + "\\readme.txt", "Game");
  ExpectLink(folder + "My Game アンインストール.LNK", game + "\\UnInst.exe", "Game");
}

TEST_F(Shortcuts, ReadmeShortcutFollowsTheSettings) {
  const std::string game = MakeInstalledGame("pv-readme");
  const std::string programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);

  // No group: the title folder sits in the programs folder. HELP_FILE stands in for
  // INSTREADMEFL, INSTREADME names the shortcut, INSTTO defaults to VELUNA_APP.
  ReloadSettingList("TITLEBAR Help|Case\nHELP_FILE help.txt\nINSTREADME Manual\n");
  EXPECT_EQ(CreateStartMenuShortcuts(game.c_str()), 0);
  const std::string folder = programs + "\\Help Case\\";
  ExpectLink(folder + "Help Case.LNK", game + "\\veluna.exe", "VELUNA_APP");
  ExpectLink(folder + "Help Case Manual.LNK", game + "\\help.txt", "VELUNA_APP");

  // Neither readme key, or a file starting with "-": no readme shortcut, still a success.
  for (const char* settings : {"TITLEBAR NoReadme\n", "TITLEBAR NoReadme\nINSTREADMEFL -\n"}) {
    ReloadSettingList(settings);
    EXPECT_EQ(CreateStartMenuShortcuts(game.c_str()), 0) << settings;
    EXPECT_TRUE(wt::FileExists(programs + "\\NoReadme\\NoReadme.LNK"));
    EXPECT_FALSE(wt::FileExists(programs + "\\NoReadme\\NoReadme お読みください.LNK")) << settings;
  }
}

TEST_F(Shortcuts, DesktopQuestion) {
  ReloadSettingList("TITLEBAR Desk\nEXENAME game.exe\nINSTTO Game\n");
  const std::string game = MakeInstalledGame("pv-desk");
  const std::string link = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Desk.LNK";

  struct Row {
    bool uncheck;
    int button;
    bool created;
  };
  const Row rows[] = {{false, IDCANCEL, false}, {true, IDOK, false}, {false, IDOK, true}};
  for (const Row& row : rows) {
    DeleteFileA(link.c_str());
    bool initially_checked = false;
    {
      UiScript script([&] {
        HWND dialog = WaitForDialog("ショートカットの作成");
        if (!dialog) return CancelAllDialogs();
        initially_checked = IsChecked(dialog, 1007);
        if (row.uncheck) SetChecked(dialog, 1007, false);
        wt::Press(dialog, row.button);
      });
      AskDesktopShortcut(game.c_str());
    }
    EXPECT_TRUE(initially_checked);
    EXPECT_EQ(wt::FileExists(link), row.created) << "button " << row.button << " uncheck " << row.uncheck;
  }
  ExpectLink(link, game + "\\game.exe", "Game");
}

TEST_F(Shortcuts, UninstallEntry) {
  const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  ReloadSettingList("EXENAME game.exe\n");
  RegisterUninstaller("C:\\Program Files\\Maker\\My Game");
  const std::string key = uninstall + "RvAppＶＥＬＵＮＡ アプリケーション";
  const RegValue name = QueryValue(HKEY_LOCAL_MACHINE, key, "DisplayName");
  EXPECT_EQ(name.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(name.data, std::string("ＶＥＬＵＮＡ アプリケーション") + '\0');
  // Quoted: the folder's blanks must not split the command.
  EXPECT_EQ(QueryValue(HKEY_LOCAL_MACHINE, key, "UninstallString").data,
            std::string("\"C:\\Program Files\\Maker\\My Game\\UnInst.exe\"") + '\0');
  EXPECT_EQ(QueryValue(HKEY_LOCAL_MACHINE, key, "InstallLocation").data,
            std::string("C:\\Program Files\\Maker\\My Game") + '\0');
  EXPECT_EQ(QueryValue(HKEY_LOCAL_MACHINE, key, "DisplayIcon").data,
            std::string("C:\\Program Files\\Maker\\My Game\\game.exe") + '\0');
}

// Sets a shell folder of all users to `path` for the test's lifetime.
class RedirectedShellFolder {
 public:
  RedirectedShellFolder(const wchar_t* name, const std::wstring& path) : name_(name) {
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    wchar_t old[MAX_PATH] = L"";
    DWORD size = sizeof old;
    had_ = RegQueryValueExW(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
    old_ = old;
    Set(path);
  }
  RedirectedShellFolder(const RedirectedShellFolder&) = delete;
  RedirectedShellFolder& operator=(const RedirectedShellFolder&) = delete;
  ~RedirectedShellFolder() {
    if (had_) {
      Set(old_);
    } else {
      RegDeleteValueW(key_, name_);
    }
    RegCloseKey(key_);
  }

 private:
  static constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  void Set(const std::wstring& path) {
    RegSetValueExW(key_, name_, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  }
  const wchar_t* name_;
  HKEY key_ = nullptr;
  bool had_ = false;
  std::wstring old_;
};

// A Start menu and desktop with no CP932 form (a user name with "é"): the shortcuts are still
// made there under their Japanese names, and found and removed again.
TEST_F(Shortcuts, SpecialFoldersWithoutACp932FormKeepTheirShortcuts) {
  const std::wstring programs = L"C:\\Caf\u00e9\\Programs";
  const std::wstring desktop = L"C:\\Caf\u00e9\\Desktop";
  CreateDirectoryW(L"C:\\Caf\u00e9", nullptr);
  CreateDirectoryW(programs.c_str(), nullptr);
  CreateDirectoryW(desktop.c_str(), nullptr);
  RedirectedShellFolder redirected_programs(L"Common Programs", programs);
  RedirectedShellFolder redirected_desktop(L"Common Desktop", desktop);
  ASSERT_EQ(SpecialFolderW(nullptr, CSIDL_COMMON_PROGRAMS), programs) << "the shell follows the redirection";
  EXPECT_EQ(ShortcutFolder(ShortcutPlace::kPrograms), "") << "no CP932 form";

  ReloadSettingList("TITLEBAR ソ表\nINST_GROUP 十能\nEXENAME game.exe\nINSTTO Game\nINSTREADMEFL readme.txt\n");
  const std::string game = MakeInstalledGame("pv-cafe");
  EXPECT_EQ(CreateStartMenuShortcuts(game.c_str()), 0);
  EXPECT_EQ(CreateDesktopShortcut(game.c_str()), 0);
  std::wstring group = programs + L"\\";
  ASSERT_TRUE(AppendCp932(&group, "十能\\ソ表\\"));
  std::wstring desktop_link = desktop + L"\\";
  ASSERT_TRUE(AppendCp932(&desktop_link, "ソ表.LNK"));
  for (const std::wstring& link : {group + L"\u30bd\u8868.LNK", desktop_link}) {
    EXPECT_NE(GetFileAttributesW(link.c_str()), INVALID_FILE_ATTRIBUTES);
  }
  RemoveShortcuts(game.c_str());
  EXPECT_EQ(GetFileAttributesW((programs + L"\\\u5341\u80fd").c_str()), INVALID_FILE_ATTRIBUTES) << "group removed";
  EXPECT_EQ(GetFileAttributesW(desktop_link.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
