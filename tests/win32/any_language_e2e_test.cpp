// One install and uninstall through the real programs, run by CTest on a Japanese system
// (code page 932), an English one (1252, PV_WINE_LANG=en_US.UTF-8) and a Chinese one (936,
// zh_CN.UTF-8), where the ...A calls would read the program's CP932 bytes as other text.
// The title and the names hold 0x5C trail bytes ("ソ", "表", "能", "十"), which a Western
// system takes for backslashes; the setup program and the temporary folder lie under
// "Café", which has no CP932 form. Everything is read back through the wide calls, and the
// results must be the same on every system.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "common/wide_win.h"
#include "support/setup_builder.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

constexpr DWORD kTimeout = 60000;
constexpr char kTitle[] = "ソ表の町";
constexpr char kMainTitle[] = "ソ表の町 スタートアップ";
constexpr char kFolder[] = "C:\\ゲーム\\ソ表";
const std::string kUninstallParent = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kUninstallKey = kUninstallParent + "\\RvAppソ表の町";
const std::wstring kCafe = L"C:\\Caf\u00e9";

constexpr char kInstallEnv[] =
    "TITLEBAR\tソ表の町\r\n"
    "INSTTO\tソ表\r\n"
    "INSTFOL\t能力\r\n"
    "EXENAME\tgame.exe\r\n"
    "INST_GROUP\t十能\r\n"
    "INSTREADME\tお読みください\r\n"
    "INSTREADMEFL\treadme.txt\r\n"
    "REG_GLOBAL\tPanvesterAnyLanguage\r\n"
    "REG_LOCAL\tソ表\r\n"
    "INI_FILE\tpv_e2e_ソ表.ini\r\n"
    "INI_SECTION\t十能\r\n"
    "[EOF]\r\n"
    "[ini]\r\n"
    "Path=REP_INSTALL\r\n"
    "Data=REP_INSTALL\\表示\r\n"
    "-\r\n"
    "[reg]\r\n"
    "\"IsInst\"=\"1\"\r\n"
    "\"InstTo\"=\"REP_INSTALL\"\r\n"
    "-\r\n"
    "EOF\r\n";

using wt::Wide;
std::string Narrow(const std::wstring& wide) { return wt::Cp932(wide); }

std::string SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = L"";
  SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return Narrow(path);
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  names.erase(std::remove_if(names.begin(), names.end(), [](const std::string& n) { return n == "." || n == ".."; }),
              names.end());
  std::sort(names.begin(), names.end());
  return names;
}

// Every name below `folder`, as relative paths: a name cut at a 0x5C trail byte shows up as an
// extra level, a mangled one as kNoCp932Form.
std::vector<std::string> Tree(const std::string& folder, const std::string& relative = "") {
  std::vector<std::string> names;
  const std::string here = relative.empty() ? folder : folder + "\\" + relative;
  for (const std::string& name : Sorted(wt::ListNames(here, "*"))) {
    const std::string path = relative.empty() ? name : relative + "\\" + name;
    names.push_back(path);
    if (wt::DirectoryExists(folder + "\\" + path)) {
      for (const std::string& inner : Tree(folder, path)) names.push_back(inner);
    }
  }
  return names;
}

std::vector<std::string> Added(const std::vector<std::string>& before, const std::string& folder) {
  std::vector<std::string> added;
  for (const std::string& name : Sorted(wt::ListNames(folder, "*"))) {
    if (std::find(before.begin(), before.end(), name) == before.end()) added.push_back(name);
  }
  return added;
}

// Entries of the temporary folder (which has no CP932 form) matching `pattern`.
int CountInTemp(const std::wstring& temp, const wchar_t* pattern) {
  int count = 0;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((temp + L"\\" + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    ++count;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return count;
}

// The text of the next box of the process (of any, with wt::kAnyProcess), answered with `button`.
std::string AnswerBox(DWORD process_id, int button) {
  HWND box = wt::WaitFor([&] { return wt::FindMessageBox(process_id); }, kTimeout);
  if (!box) return "(no box)";
  const std::string text = wt::MessageBoxText(box);
  wt::Press(box, button);
  WaitUntilGone(box);
  return text;
}

// For looking at, when PV_SHOTS_DIR names a folder: <name>-<code page>.bmp.
void Picture(HWND window, const char* name) {
  if (const char* folder = std::getenv("PV_SHOTS_DIR")) {
    wt::SaveWindowPicture(window, wt::WinPath(folder) + "\\" + name + "-" + std::to_string(GetACP()) + ".bmp");
  }
}

TEST(AnyLanguageEndToEnd, JapaneseNamesComeThroughInstallAndUninstallUnchanged) {
  const char* asked = std::getenv("PV_EXPECT_ACP");
  ASSERT_EQ(GetACP(), static_cast<UINT>(asked ? std::atoi(asked) : 932));
  CoInitialize(nullptr);

  // The setup program in C:\Café, the temporary folder
  // C:\Café\Temp for everything started from here on.
  const std::string staged = wt::MakeSetup(wt::TempDir() + "\\e2e-any-language",
                                           {{"install.env", kInstallEnv},
                                            {"insttscr.rct", wt::SolidTitlePicture(120, 150, 90, 40, 20)},
                                            {"readme.txt", "ソ表の町\r\n"},
                                            {"game.exe", "MZ game placeholder\r\n"},
                                            {"表示\\", ""},
                                            {"表示\\能力.dat", "data"}},
                                           wt::Container::kAppended);
  ASSERT_FALSE(staged.empty());
  const std::wstring temp = kCafe + L"\\Temp";
  const std::wstring setup_exe = kCafe + L"\\setup.exe";
  ASSERT_TRUE(CreateDirectoryW(kCafe.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(Wide(staged).c_str(), setup_exe.c_str(), FALSE));
  ASSERT_TRUE(CreateDirectoryW((kCafe + L"\\DirectX").c_str(), nullptr));  // offered from C:\Café too
  SetEnvironmentVariableW(L"TEMP", temp.c_str());
  SetEnvironmentVariableW(L"TMP", temp.c_str());

  const std::string programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  const std::string desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  const std::string windows = Narrow(WindowsFolderW());
  const std::vector<std::string> root_before = Sorted(wt::ListNames("C:", "*"));
  const std::vector<std::string> programs_before = Sorted(wt::ListNames(programs, "*"));
  const std::vector<std::string> desktop_before = Sorted(wt::ListNames(desktop, "*"));
  const std::vector<std::string> windows_before = Sorted(wt::ListNames(windows, "*"));

  // The main window and its buttons; a second start is told the first is running.
  wt::Process setup = wt::Start(setup_exe);
  HWND main = wt::WaitFor([&] { return wt::FindTopWindow(setup.id, kMainTitle); }, kTimeout);
  ASSERT_TRUE(main) << "main window titled " << kMainTitle;
  std::vector<std::string> buttons;
  for (int id = IDC_SLOT1; id <= IDC_SLOT9; ++id) {
    if (GetDlgItem(main, id)) buttons.push_back(wt::ControlText(main, id));
  }
  EXPECT_EQ(buttons, (std::vector<std::string>{"終了", "DirectXインストール", "お読みください", "インストール"}));
  Picture(main, "e2e-main");
  {
    wt::Process second = wt::Start(setup_exe);
    EXPECT_EQ(AnswerBox(second.id, IDOK), "[ ソ表の町 スタートアップ ] は既に起動中です");
    DWORD code = 1;
    ASSERT_TRUE(wt::WaitExit(second, kTimeout, &code));
    EXPECT_EQ(code, 0u);
  }

  // The install, as the player clicks it.
  for (int id = IDC_SLOT1; id <= IDC_SLOT9; ++id) {
    if (wt::ControlText(main, id) == "インストール") wt::Press(main, id);
  }
  HWND folder_dialog = wt::WaitFor([&] { return wt::FindDialog(setup.id, "インストール先のフォルダの指定"); }, kTimeout);
  ASSERT_TRUE(folder_dialog);
  EXPECT_EQ(wt::ControlText(folder_dialog, IDC_FOLDER_EDIT), "C:\\Program Files\\能力\\ソ表");
  SendDlgItemMessageW(folder_dialog, IDC_FOLDER_EDIT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(kFolder).c_str()));
  wt::Press(folder_dialog, IDOK);
  EXPECT_EQ(AnswerBox(setup.id, IDYES), std::string("[") + kFolder + "]にインストールします");
  HWND shortcut = wt::WaitFor([&] { return wt::FindDialog(setup.id, "ショートカットの作成"); }, kTimeout);
  ASSERT_TRUE(shortcut);
  wt::Press(shortcut, IDOK);
  HWND end = wt::WaitFor([&] { return wt::FindDialog(setup.id, "インストール終了"); }, kTimeout);
  ASSERT_TRUE(end);
  EXPECT_EQ(wt::ControlText(end, IDC_CHECK_BOX), "お読みください");
  Picture(end, "e2e-end");
  wt::Press(end, IDOK);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(setup, kTimeout, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(CountInTemp(temp, L"TempRV*"), 0) << "work folder removed";

  // Every name where it belongs, none split or mangled.
  EXPECT_EQ(Added(root_before, "C:"), std::vector<std::string>{"ゲーム"});
  EXPECT_EQ(Tree(kFolder), (std::vector<std::string>{"UnInst.exe", "UnInst.lst", "game.exe", "install.env",
                                                     "insttscr.rct", "readme.txt", "表示", "表示\\能力.dat"}));
  EXPECT_EQ(Added(programs_before, programs), std::vector<std::string>{"十能"});
  EXPECT_EQ(Tree(programs + "\\十能"),
            (std::vector<std::string>{"ソ表の町", "ソ表の町\\ソ表の町 お読みください.LNK",
                                      "ソ表の町\\ソ表の町 アンインストール.LNK", "ソ表の町\\ソ表の町.LNK"}));
  EXPECT_EQ(Added(desktop_before, desktop), std::vector<std::string>{"ソ表の町.LNK"});
  EXPECT_EQ(Added(windows_before, windows), std::vector<std::string>{"pv_e2e_ソ表.ini"});

  // The uninstall entry, the shortcuts' targets, the [reg] values and the INI file's bytes.
  auto text = [](const std::string& s) { return s + '\0'; };
  std::vector<std::string> entries;
  for (const std::string& name : SubkeyNames(HKEY_LOCAL_MACHINE, kUninstallParent)) {
    if (name.compare(0, 5, "RvApp") == 0) entries.push_back(name);
  }
  EXPECT_EQ(entries, std::vector<std::string>{"RvAppソ表の町"});
  EXPECT_EQ(QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName").data, text(kTitle));
  EXPECT_EQ(QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation").data, text(kFolder));
  std::string uninstaller = QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString").data.c_str();
  ASSERT_GT(uninstaller.size(), 2u);
  uninstaller = uninstaller.substr(1, uninstaller.size() - 2);
  const std::string group = programs + "\\十能\\ソ表の町\\";
  const std::string game = std::string(kFolder) + "\\game.exe";
  EXPECT_EQ(ReadShortcut(group + "ソ表の町.LNK").listed_target, game);
  EXPECT_EQ(ReadShortcut(group + "ソ表の町 お読みください.LNK").listed_target, std::string(kFolder) + "\\readme.txt");
  EXPECT_EQ(ReadShortcut(group + "ソ表の町 アンインストール.LNK").listed_target, uninstaller);
  EXPECT_EQ(ReadShortcut(desktop + "\\ソ表の町.LNK").listed_target, game);
  EXPECT_EQ(SubkeyNames(HKEY_CURRENT_USER, "Software\\PanvesterAnyLanguage"), std::vector<std::string>{"ソ表"});
  EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, "Software\\PanvesterAnyLanguage\\ソ表", "InstTo").data, text(kFolder));
  const std::string ini = windows + "\\pv_e2e_ソ表.ini";
  EXPECT_EQ(wt::ReadFile(ini), "[十能]\r\nPath=C:\\ゲーム\\ソ表\r\nData=C:\\ゲーム\\ソ表\\表示\r\n");

  // A copy of the uninstaller started from C:\Café refuses, naming the folder as best it can.
  ASSERT_TRUE(CopyFileW(Wide(std::string(kFolder) + "\\UnInst.exe").c_str(), (kCafe + L"\\UnInst.exe").c_str(), FALSE));
  {
    wt::Process stray = wt::Start(kCafe + L"\\UnInst.exe");
    EXPECT_EQ(AnswerBox(stray.id, IDOK), "[C:\\Caf?]はアンインストールできる場所ではありません。\nアンインストールを中止します。");
    ASSERT_TRUE(wt::WaitExit(stray, kTimeout, &code));
  }

  // The uninstall through the entry: its copy runs from the temporary folder under C:\Café.
  wt::Process original = wt::Start(uninstaller);
  EXPECT_EQ(AnswerBox(wt::kAnyProcess, IDYES), "「ソ表の町」をアンインストールしますか？");
  ASSERT_TRUE(wt::WaitExit(original, kTimeout, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(AnswerBox(wt::kAnyProcess, IDOK), "アンインストールが完了しました。");
  // The copy deletes itself through a batch file shortly after it has ended.
  for (DWORD start = GetTickCount(); CountInTemp(temp, L"PvUnInst_*") > 0 && GetTickCount() - start < kTimeout;) {
    Sleep(200);
  }
  EXPECT_EQ(CountInTemp(temp, L"PvUnInst_*"), 0) << "the temporary copy is gone";
  EXPECT_TRUE(Added(root_before, "C:").empty()) << "the install folder and the level made for it";
  EXPECT_TRUE(Added(programs_before, programs).empty());
  EXPECT_TRUE(Added(desktop_before, desktop).empty());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(wt::FileExists(ini));
  CoUninitialize();
}

}  // namespace
