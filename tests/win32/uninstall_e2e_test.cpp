// Uninstalling through the installed UnInst.exe: a distribution is installed with
// Panvester.exe, "the game" and the player add files of their own, and UnInst.exe is started
// from the install folder and answered by control id like a player would.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/setup_builder.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

constexpr DWORD kTimeout = 60000;
constexpr char kTitle[] = "星降る町 UNI";
constexpr char kMainTitle[] = "星降る町 UNI スタートアップ";
constexpr char kCaption[] = "星降る町 UNI アンインストール";
constexpr char kQuestion[] = "「星降る町 UNI」をアンインストールしますか？";
constexpr char kUserDataQuestion[] =
    "セーブデータなどのユーザーデータも削除しますか？\n[いいえ]を選ぶと、ユーザーデータは残ります。";
constexpr char kDone[] = "アンインストールが完了しました。";
constexpr char kKeptHead[] = "\n\n以下のフォルダは、ファイルが残っているか使用中のため削除しませんでした。\n";
constexpr char kFailedHead[] =
    "\n\n以下のファイルを削除できませんでした。お手数ですが、手動で削除してください。\n";
constexpr char kLinksHead[] = "\n\n以下はリンク（ジャンクションなど）のため、たどらずに残しました。\n";
// The two lines of kInstallEnv the rules refuse, as the report names them.
constexpr char kRefused[] = "\n\n以下の削除指定は安全でないため、無視しました。\n..\\outside.txt\nC:\\*";
const std::string kUserKey = "Software\\PanvesterUni\\Hoshifuru";
const std::string kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RvApp星降る町 UNI";

// Every kind of line the uninstaller reads, refused ones included.
constexpr char kInstallEnv[] =
    "TITLEBAR\t星降る町|UNI\r\n"
    "INSTTO\tHoshifuru\r\n"
    "EXENAME\tgame.exe\r\n"
    "INST_GROUP\tサンプルUNI\r\n"
    "INSTREADME\tお読みください\r\n"
    "INSTREADMEFL\treadme.txt\r\n"
    "REG_GLOBAL\tPanvesterUni\r\n"
    "REG_LOCAL\tHoshifuru\r\n"
    "INI_FILE\thoshifuru_uni.ini\r\n"
    "INI_SECTION\tInstall\r\n"
    "[EOF]\r\n"
    "[delfiles]\r\n"
    "REP_INSTALL\\log\\*.log\r\n"
    "cache.dat\r\n"
    "..\\outside.txt\r\n"
    "C:\\*\r\n"
    "-\r\n"
    "[delfiles_user]\r\n"
    "%APPDATA%\\PanvesterUni\\Hoshifuru\\*.dat\r\n"
    "save\\*.sav\r\n"
    "-\r\n"
    "[ini]\r\n"
    "Path=REP_INSTALL\r\n"
    "Data=REP_INSTALL\\data\r\n"
    "-\r\n"
    "[reg]\r\n"
    "\"IsInst\"=\"1\"\r\n"
    "\"InstTo\"=\"REP_INSTALL\"\r\n"
    "-\r\n"
    "EOF\r\n";

// No UnInst.exe of its own: the builder ships the built one and the list, as the packer does.
std::vector<wt::PayloadFile> GameFiles() {
  return {
      {"install.env", kInstallEnv},
      {"insttscr.rct", wt::SolidTitlePicture(120, 150, 90, 40, 20)},
      {"readme.txt", "星降る町のサンプル\r\n"},
      {"game.exe", "MZ game placeholder\r\n"},
      {"data\\", ""},
      {"data\\scripts\\", ""},
      {"data\\scripts\\first.ks", "*title\r\n"},
      {"data\\big.bin", wt::Noise(300000, 7)},
      {"save\\", ""},
      {"save\\.keep", ""},
      // Shipped, then written by the game: the player's data, though the install put it there.
      {"save\\slot0.sav", "default save"},
  };
}

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
  return path;
}

std::string WindowsFolder() {
  char path[MAX_PATH] = "";
  GetWindowsDirectoryA(path, sizeof path);
  return path;
}

std::string StartMenuGroup() { return SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\サンプルUNI"; }
std::string SaveFolder() { return SpecialFolder(CSIDL_APPDATA) + "\\PanvesterUni\\Hoshifuru"; }
std::string IniFile() { return WindowsFolder() + "\\hoshifuru_uni.ini"; }

// Installs into `folder` through Panvester.exe, pressing what a player presses.
void Install(const std::string& setup_exe, const std::string& folder) {
  wt::Process setup = wt::Start(setup_exe);
  HWND main = wt::WaitFor([&] { return wt::FindTopWindow(setup.id, kMainTitle); }, kTimeout);
  ASSERT_TRUE(main) << "main window";
  for (int id = 1000; id <= 1008; ++id) {
    if (wt::ControlText(main, id) == "インストール") wt::Press(main, id);
  }
  HWND dialog = wt::WaitFor([&] { return wt::FindDialog(setup.id, "インストール先のフォルダの指定"); }, kTimeout);
  ASSERT_TRUE(dialog) << "folder dialog";
  SendMessageA(GetDlgItem(dialog, 1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
  wt::Press(dialog, IDOK);
  HWND question = wt::WaitFor([&] { return wt::FindMessageBox(setup.id); }, kTimeout);
  ASSERT_TRUE(question) << "folder question";
  wt::Press(question, IDYES);
  HWND shortcut = wt::WaitFor([&] { return wt::FindDialog(setup.id, "ショートカットの作成"); }, kTimeout);
  ASSERT_TRUE(shortcut) << "desktop question";
  wt::Press(shortcut, IDOK);
  HWND end = wt::WaitFor([&] { return wt::FindDialog(setup.id, "インストール終了"); }, kTimeout);
  ASSERT_TRUE(end) << "end dialog";
  wt::Press(end, IDOK);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(setup, kTimeout, &code));
  ASSERT_EQ(code, 0u);
  ASSERT_TRUE(wt::FileExists(folder + "\\UnInst.exe"));
  ASSERT_TRUE(wt::FileExists(folder + "\\UnInst.lst"));
}

// The uninstaller the system's list of programs starts: the protected copy.
std::string EntryUninstaller() {
  std::string command = QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString").data;
  command = command.c_str();  // without the stored terminator
  if (command.size() < 2 || command.front() != '"' || command.back() != '"') return command;
  return command.substr(1, command.size() - 2);
}

// What the game and the player leave behind after playing.
void Play(const std::string& folder) {
  ASSERT_TRUE(wt::MakeDirs(SaveFolder()));
  ASSERT_TRUE(wt::WriteFile(SaveFolder() + "\\save1.dat", "save"));
  ASSERT_TRUE(wt::MakeDirs(folder + "\\log"));
  ASSERT_TRUE(wt::WriteFile(folder + "\\log\\1.log", "log"));
  ASSERT_TRUE(wt::WriteFile(folder + "\\log\\2.LOG", "log"));
  ASSERT_TRUE(wt::WriteFile(folder + "\\cache.dat", "cache"));
  ASSERT_TRUE(wt::WriteFile(folder + "\\save\\slot1.sav", "slot"));
  SetStringValue(HKEY_CURRENT_USER, kUserKey, "Volume", "80");
  // The player's own, and a file the refused line "..\outside.txt" would have reached.
  ASSERT_TRUE(wt::MakeDirs(folder + "\\mine"));
  ASSERT_TRUE(wt::WriteFile(folder + "\\mine\\notes.txt", "mine"));
  ASSERT_TRUE(wt::WriteFile("C:\\Games\\outside.txt", "outside"));
}

// A box of any process with the uninstaller's caption (the original and its copy alike).
HWND FindUninstallBox() {
  return wt::FindTop(wt::kAnyProcess, [](HWND window) {
    return wt::ClassOf(window) == "#32770" && GetDlgItem(window, 0xFFFF) && wt::Text(window) == kCaption;
  });
}

struct Answered {
  std::string text;
  DWORD process_id = 0;
};

// The text of the next box, answered with `button`.
Answered Answer(int button) {
  HWND box = wt::WaitFor(FindUninstallBox, kTimeout);
  if (!box) return {"(no box)", 0};
  Answered answered{wt::MessageBoxText(box), 0};
  GetWindowThreadProcessId(box, &answered.process_id);
  wt::Press(box, button);
  WaitUntilGone(box);
  return answered;
}

bool WaitProcessExit(DWORD id, DWORD* code) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id);
  if (!process) return false;
  const bool ended = WaitForSingleObject(process, kTimeout) == WAIT_OBJECT_0;
  GetExitCodeProcess(process, code);
  CloseHandle(process);
  return ended;
}

// The temporary copy deletes itself shortly after it has ended.
bool TemporaryCopiesGone() {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kTimeout) {
    // The copy's folder and its batch, in the common application data; none in %TEMP% either.
    if (wt::ListNames(SpecialFolder(CSIDL_COMMON_APPDATA), "PvUnInst_*").empty() &&
        wt::ListNames(wt::TempDir(), "PvUnInst_*").empty()) {
      return true;
    }
    Sleep(200);
  }
  return false;
}

std::vector<std::string> RecordsFolders() {
  return wt::ListNames(SpecialFolder(CSIDL_COMMON_APPDATA), "PanvesterUninstall_*");
}

std::string IniValue(const char* key) {
  char value[512] = "";
  GetPrivateProfileStringA("Install", key, "(none)", value, sizeof value, IniFile().c_str());
  return value;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& name : wt::ListNames(folder, "*")) {
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

// Everything the installation made outside its folder is gone; the game's own value in the
// per-user key stays unless the player let the user data go.
void ExpectSystemClean(bool user_data_removed) {
  EXPECT_FALSE(wt::DirectoryExists(StartMenuGroup())) << "Start-menu group and its shortcuts";
  EXPECT_FALSE(wt::FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\" + kTitle + ".LNK"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  if (user_data_removed) {
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\PanvesterUni")) << "per-user key and its parent";
  } else {
    EXPECT_TRUE(QueryValue(HKEY_CURRENT_USER, kUserKey, "Volume").found) << "the player's setting";
    EXPECT_FALSE(QueryValue(HKEY_CURRENT_USER, kUserKey, "IsInst").found) << "what the install wrote";
  }
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\PanvesterUni")) << "machine test key and its parent";
  EXPECT_EQ(IniValue("Path"), "(none)");
  EXPECT_FALSE(wt::FileExists(IniFile())) << "the INI file is left empty, so it goes";
}

class UninstallEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitialize(nullptr); }
  void TearDown() override {
    DeleteTree(HKEY_CURRENT_USER, "Software\\PanvesterUni");
    DeleteFileA("C:\\Games\\outside.txt");
    wt::RemoveTree(SpecialFolder(CSIDL_APPDATA) + "\\PanvesterUni");
  }
};

TEST_F(UninstallEndToEnd, NoKeepsUserDataAndThePlayersOwnFiles) {
  const std::string folder = "C:\\Games\\星降る町 UNI";
  Install(wt::MakeSetup(wt::TempDir() + "\\uni-no", GameFiles(), wt::Container::kAppended), folder);
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_EQ(IniValue("Path"), folder) << "installed as expected";
  Play(folder);
  ASSERT_FALSE(HasFatalFailure());
  // Another user adds a line to the open install folder's copy: the records decide.
  std::string settings = wt::ReadFile(folder + "\\install.env");
  const std::size_t cache = settings.find("cache.dat\r\n");
  ASSERT_NE(cache, std::string::npos);
  settings.insert(cache, "mine\\notes.txt\r\n");
  ASSERT_TRUE(wt::WriteFile(folder + "\\install.env", settings));
  const std::string uninstaller = EntryUninstaller();
  EXPECT_EQ(uninstaller.find(SpecialFolder(CSIDL_COMMON_APPDATA) + "\\PanvesterUninstall_"), 0u) << uninstaller;

  wt::Process original = wt::Start(uninstaller);
  const Answered question = Answer(IDYES);
  EXPECT_EQ(question.text, kQuestion);
  EXPECT_EQ(question.process_id, original.id) << "asked before handing over";
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(original, kTimeout, &code));
  EXPECT_EQ(code, 0u);
  const Answered user_data = Answer(IDNO);
  EXPECT_EQ(user_data.text, kUserDataQuestion);
  EXPECT_NE(user_data.process_id, original.id) << "the copy in the temporary folder works";
  const Answered report = Answer(IDOK);
  // The player's own folder and the kept saves keep the install folder.
  EXPECT_EQ(report.text, std::string(kDone) + kKeptHead + folder + kRefused);
  ASSERT_TRUE(WaitProcessExit(report.process_id, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(TemporaryCopiesGone());

  EXPECT_EQ(Names(folder), (std::vector<std::string>{"mine", "save"}));
  EXPECT_EQ(Names(folder + "\\mine"), std::vector<std::string>{"notes.txt"}) << "a line added afterwards does nothing";
  EXPECT_FALSE(wt::DirectoryExists(uninstaller.substr(0, uninstaller.rfind('\\')))) << "the records go too";
  EXPECT_EQ(Names(folder + "\\save"), (std::vector<std::string>{"slot0.sav", "slot1.sav"})) << "No keeps the saves";
  EXPECT_TRUE(wt::FileExists(SaveFolder() + "\\save1.dat")) << "No keeps the saves";
  EXPECT_TRUE(wt::FileExists("C:\\Games\\outside.txt")) << "a refused line deletes nothing";
  ExpectSystemClean(false);
  wt::RemoveTree(folder);
}

TEST_F(UninstallEndToEnd, YesRemovesUserDataAndAFileInUseIsReported) {
  const std::string folder = "C:\\Games\\UNI2";
  Install(wt::MakeSetup(wt::TempDir() + "\\uni-yes", GameFiles(), wt::Container::kAppended), folder);
  ASSERT_FALSE(HasFatalFailure());
  Play(folder);
  ASSERT_FALSE(HasFatalFailure());
  // Held open without sharing, as a running game would hold it.
  const std::string busy = folder + "\\data\\big.bin";
  HANDLE held = CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  wt::Process original = wt::Start(EntryUninstaller());
  EXPECT_EQ(Answer(IDYES).text, kQuestion);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(original, kTimeout, &code));
  const std::string in_use = "[" + busy +
                             "]を削除できませんでした。\nファイルが使用中の可能性があります。"
                             "使用しているプログラムを終了してから[再試行]を押してください。\n"
                             "[キャンセル]を押すと、このファイルを残して続けます。";
  EXPECT_EQ(Answer(IDRETRY).text, in_use);
  EXPECT_EQ(Answer(IDCANCEL).text, in_use) << "still in use: asked again, then skipped";
  EXPECT_EQ(Answer(IDYES).text, kUserDataQuestion);
  const Answered report = Answer(IDOK);
  EXPECT_EQ(report.text, std::string(kDone) + kFailedHead + busy + kKeptHead + folder + kRefused);
  EXPECT_EQ(wt::ClipboardText(), report.text) << "the report can be pasted";
  ASSERT_TRUE(WaitProcessExit(report.process_id, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(held);
  EXPECT_TRUE(TemporaryCopiesGone());

  EXPECT_EQ(Names(folder), (std::vector<std::string>{"data", "mine"}));
  EXPECT_EQ(Names(folder + "\\data"), std::vector<std::string>{"big.bin"});
  EXPECT_FALSE(wt::DirectoryExists(SaveFolder())) << "Yes takes the saves and their emptied folder";
  EXPECT_TRUE(wt::DirectoryExists(SpecialFolder(CSIDL_APPDATA))) << "never a protected folder";
  ExpectSystemClean(true);
  wt::RemoveTree(folder);
}

// Another user swaps a listed folder and a [delfiles] folder of the open install folder for
// links to folders outside: the uninstaller deletes nothing through them and names them.
TEST_F(UninstallEndToEnd, ALinkInTheInstallFolderIsNeverFollowed) {
  const std::string folder = "C:\\Games\\UNI3";
  const std::string outside = "C:\\Outside";
  Install(wt::MakeSetup(wt::TempDir() + "\\uni-link", GameFiles(), wt::Container::kAppended), folder);
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(wt::MakeDirs(outside + "\\logs"));
  ASSERT_TRUE(wt::MakeDirs(outside + "\\scripts"));
  ASSERT_TRUE(wt::WriteFile(outside + "\\logs\\1.log", "canary"));
  ASSERT_TRUE(wt::WriteFile(outside + "\\scripts\\first.ks", "canary"));
  // "data\scripts\" is listed (with "first.ks" in it); "log" is the folder of "REP_INSTALL\log\*.log".
  ASSERT_TRUE(DeleteFileA((folder + "\\data\\scripts\\first.ks").c_str()));
  ASSERT_TRUE(RemoveDirectoryA((folder + "\\data\\scripts").c_str()));
  ASSERT_TRUE(wt::MakeUnixLink(folder + "\\data\\scripts", outside + "\\scripts"));
  ASSERT_TRUE(wt::MakeUnixLink(folder + "\\log", outside + "\\logs"));

  wt::Process original = wt::Start(EntryUninstaller());
  EXPECT_EQ(Answer(IDYES).text, kQuestion);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(original, kTimeout, &code));
  EXPECT_EQ(Answer(IDYES).text, kUserDataQuestion);
  const Answered report = Answer(IDOK);
  EXPECT_EQ(report.text, std::string(kDone) + kKeptHead + folder + kLinksHead + folder + "\\data\\scripts\n" + folder +
                             "\\log" + kRefused);
  ASSERT_TRUE(WaitProcessExit(report.process_id, &code));

  EXPECT_TRUE(wt::FileExists(outside + "\\logs\\1.log")) << "nothing is deleted through a link";
  EXPECT_TRUE(wt::FileExists(outside + "\\scripts\\first.ks")) << "nothing is deleted through a link";
  EXPECT_FALSE(wt::FileExists(folder + "\\game.exe")) << "the rest goes";
  wt::RemoveTree(folder);
  wt::RemoveTree(outside);
}

// Two installations of one title: the second owns the entry and the shortcuts by now, so
// uninstalling the first leaves them. The levels the first install made above its folder go
// once empty; the level that was there before stays.
TEST_F(UninstallEndToEnd, OnlyWhatThisInstallationMadeGoes) {
  const std::string before = "C:\\Before";
  const std::string first = before + "\\Made\\Deeper\\UNI4";
  const std::string second = "C:\\Games\\UNI5";
  ASSERT_TRUE(wt::MakeDirs(before));
  const std::string setup = wt::MakeSetup(wt::TempDir() + "\\uni-two", GameFiles(), wt::Container::kAppended);
  Install(setup, first);
  ASSERT_FALSE(HasFatalFailure());
  const std::string first_uninstaller = EntryUninstaller();
  Install(setup, second);
  ASSERT_FALSE(HasFatalFailure());
  const std::string second_uninstaller = EntryUninstaller();
  ASSERT_NE(first_uninstaller, second_uninstaller);

  wt::Process original = wt::Start(first_uninstaller);
  EXPECT_EQ(Answer(IDYES).text, kQuestion);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(original, kTimeout, &code));
  EXPECT_EQ(Answer(IDYES).text, kUserDataQuestion);
  const Answered report = Answer(IDOK);
  EXPECT_EQ(report.text, std::string(kDone) + kRefused);
  ASSERT_TRUE(WaitProcessExit(report.process_id, &code));

  EXPECT_FALSE(wt::DirectoryExists(before + "\\Made")) << "made by the install, now empty";
  EXPECT_TRUE(wt::DirectoryExists(before)) << "there before the install";
  EXPECT_EQ(QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation").data, second + '\0');
  EXPECT_EQ(EntryUninstaller(), second_uninstaller);
  EXPECT_TRUE(wt::FileExists(second_uninstaller));
  EXPECT_TRUE(wt::FileExists(StartMenuGroup() + "\\" + kTitle + "\\" + kTitle + ".LNK"));
  EXPECT_TRUE(wt::FileExists(StartMenuGroup() + "\\" + kTitle + "\\" + kTitle + " アンインストール.LNK"));
  EXPECT_TRUE(wt::FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\" + kTitle + ".LNK"));
  EXPECT_TRUE(wt::FileExists(second + "\\game.exe"));
  wt::RemoveTree(second);
  wt::RemoveTree(before);
}

// A reinstall into the same folder: its records replace the first install's, so that
// uninstalling leaves no records folder behind.
TEST_F(UninstallEndToEnd, AReinstallIntoTheSameFolderLeavesNoRecordsBehind) {
  const std::string folder = "C:\\Games\\UNI6";
  const std::vector<std::string> before = RecordsFolders();
  const std::string setup = wt::MakeSetup(wt::TempDir() + "\\uni-again", GameFiles(), wt::Container::kAppended);
  Install(setup, folder);
  ASSERT_FALSE(HasFatalFailure());
  const std::string first_uninstaller = EntryUninstaller();
  Install(setup, folder);
  ASSERT_FALSE(HasFatalFailure());
  const std::string second_uninstaller = EntryUninstaller();
  ASSERT_NE(second_uninstaller, first_uninstaller);
  EXPECT_FALSE(wt::DirectoryExists(first_uninstaller.substr(0, first_uninstaller.rfind('\\'))));

  wt::Process original = wt::Start(second_uninstaller);
  EXPECT_EQ(Answer(IDYES).text, kQuestion);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(original, kTimeout, &code));
  EXPECT_EQ(Answer(IDYES).text, kUserDataQuestion);
  const Answered report = Answer(IDOK);
  EXPECT_EQ(report.text, std::string(kDone) + kRefused);
  ASSERT_TRUE(WaitProcessExit(report.process_id, &code));
  EXPECT_TRUE(TemporaryCopiesGone());
  EXPECT_EQ(RecordsFolders(), before);
  ExpectSystemClean(true);
  wt::RemoveTree(folder);
}

}  // namespace
