// Installing through Panvester.exe itself: a setup program is made from the built program
// and a small game, started in this prefix, and driven by control id like a user would.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <zlib.h>

#include "archive/archive_writer.h"
#include "common/resource_ids.h"
#include "support/setup_builder.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

constexpr DWORD kTimeout = 60000;
constexpr char kTitle[] = "星降る町 E2E";
constexpr char kMainTitle[] = "星降る町 E2E スタートアップ";
constexpr char kSetupTitle[] = "インストール先のフォルダの指定";
constexpr char kShortcutTitle[] = "ショートカットの作成";
constexpr char kEndTitle[] = "インストール終了";
constexpr char kCancelled[] = "インストールを中止しました";
const std::string kUserKey = "Software\\PanvesterE2E\\Hoshifuru";
const std::string kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RvApp星降る町 E2E";

// Every setting the install reads, and both sections with their placeholders.
constexpr char kInstallEnv[] =
    "// E2E\r\n"
    "TITLEBAR\t星降る町|E2E\r\n"
    "INSTTO\tHoshifuru\r\n"
    "INSTFOL\tPanvester\r\n"
    "EXENAME\tgame.exe\r\n"
    "INST_GROUP\tサンプル\r\n"
    "INSTREADME\tお読みください\r\n"
    "INSTREADMEFL\treadme.txt\r\n"
    "REG_GLOBAL\tPanvesterE2E\r\n"
    "REG_LOCAL\tHoshifuru\r\n"
    "INI_FILE\thoshifuru.ini\r\n"
    "INI_SECTION\tInstall\r\n"
    "[EOF]\r\n"
    "[ini]\r\n"
    "Path=REP_INSTALL\r\n"
    "Data=REP_INSTALL\\data\r\n"
    "CD=REP_CDROMDRIVE\r\n"
    "-\r\n"
    "[reg]\r\n"
    "\"IsInst\"=\"1\"\r\n"
    "\"InstTo\"=\"REP_INSTALL\"\r\n"
    "\"SaveFolder\"=\"REP_INSTALL\\\\save\"\r\n"
    "-\r\n"
    "EOF\r\n";

std::vector<wt::PayloadFile> GameFiles() {
  std::vector<wt::PayloadFile> files = {
      {"install.env", kInstallEnv},
      {"insttscr.rct", wt::SolidTitlePicture(120, 150, 90, 40, 20)},
      {"readme.txt", "星降る町のサンプル\r\nお読みください\r\n"},
      {"game.exe", "MZ game placeholder\r\n"},
      {"UnInst.exe", "MZ uninstaller placeholder\r\n"},
      {"data\\", ""},
      {"data\\scripts\\", ""},
      {"data\\scripts\\first.ks", "*title\r\n[jump storage=chapter1.ks]\r\n"},
      {"data\\big.bin", wt::Noise(300000, 7)},  // more than two extraction blocks
      {"save\\", ""},
      {"save\\.keep", ""},
  };
  // Distinct whole seconds from 2020-01-01, so every stored time is checked on its own.
  std::uint64_t seconds = 1577836800;
  for (wt::PayloadFile& file : files) {
    file.time = FiletimeFromUnix(static_cast<std::int64_t>(seconds += 3600), 0);
  }
  return files;
}

// Panvester.exe with the game appended as its payload, as a distributor ships it.
std::string MakeSetupProgram(const std::string& folder, const std::vector<wt::PayloadFile>& files) {
  return wt::MakeSetup(folder, files, wt::Container::kAppended);
}

std::uint64_t LastWriteTime(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  FILETIME time{};
  GetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A visible top-level window of any process whose title contains `part`.
HWND FindWindowTitled(const std::string& part) {
  return wt::FindTop(wt::kAnyProcess, [&](HWND window) { return wt::Text(window).find(part) != std::string::npos; });
}

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
  return path;
}

// One run of the setup program, driven from here.
class SetupRun {
 public:
  explicit SetupRun(const std::string& exe) : process_(wt::Start(exe)) {}
  ~SetupRun() { wt::Kill(process_); }

  HWND Main() {
    if (!main_) main_ = wt::WaitFor([&] { return wt::FindTopWindow(process_.id, kMainTitle); }, kTimeout);
    return main_;
  }
  void PressMainButton(const char* label) {
    for (int id = IDC_SLOT1; id <= IDC_SLOT9; ++id) {
      if (wt::ControlText(Main(), id) == label) return wt::Press(Main(), id);
    }
    ADD_FAILURE() << "no button " << label;
  }
  HWND Dialog(const char* title) {
    return wt::WaitFor([&] { return wt::FindDialog(process_.id, title); }, kTimeout);
  }
  // The text of the next box, answered with `button`.
  std::string AnswerBox(int button) {
    HWND box = wt::WaitFor([&] { return wt::FindMessageBox(process_.id); }, kTimeout);
    if (!box) return "(no box)";
    const std::string text = wt::MessageBoxText(box);
    wt::Press(box, button);
    WaitUntilGone(box);
    return text;
  }
  // Chooses the folder in the SETUP dialog (keeping the proposal when `typed` is empty) and
  // returns the proposal that was shown.
  std::string ChooseFolder(const std::string& typed, int button = IDOK) {
    HWND dialog = Dialog(kSetupTitle);
    if (!dialog) return "(no dialog)";
    const std::string proposal = wt::ControlText(dialog, IDC_FOLDER_EDIT);
    if (!typed.empty()) SendMessageA(GetDlgItem(dialog, IDC_FOLDER_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    wt::Press(dialog, button);
    WaitUntilGone(dialog);
    return proposal;
  }
  // From the main window through the folder choice and its confirmation; false when the
  // main window or the confirmation did not come.
  bool BeginInstall(const std::string& folder) {
    if (!Main()) return false;
    PressMainButton("インストール");
    ChooseFolder(folder);
    return AnswerBox(IDYES) == "[" + folder + "]にインストールします";
  }
  bool Exit(DWORD* code) { return wt::WaitExit(process_, kTimeout, code); }
  DWORD id() const { return process_.id; }

 private:
  wt::Process process_;
  HWND main_ = nullptr;
};

class InstallEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitialize(nullptr); }
};

TEST_F(InstallEndToEnd, FullInstallThenTheFolderIsRemembered) {
  const std::vector<wt::PayloadFile> files = GameFiles();
  const std::string setup_exe = MakeSetupProgram(wt::TempDir() + "\\e2e-full", files);
  const std::string folder = "C:\\Games\\星降る町 E2E";

  std::string proposal, question, end_label;
  bool shortcut_box_checked = false, end_readme_checked = true;
  DWORD code = 1;
  {
    SetupRun setup(setup_exe);
    ASSERT_TRUE(setup.Main()) << "main window";
    setup.PressMainButton("インストール");
    proposal = setup.ChooseFolder(folder);
    question = setup.AnswerBox(IDYES);
    HWND shortcut = setup.Dialog(kShortcutTitle);
    ASSERT_TRUE(shortcut) << "desktop question";
    shortcut_box_checked = IsChecked(shortcut, 1007);
    wt::Press(shortcut, IDOK);
    HWND end = setup.Dialog(kEndTitle);
    ASSERT_TRUE(end) << "end dialog";
    end_label = wt::ControlText(end, 1007);
    end_readme_checked = IsChecked(end, 1007);
    SetChecked(end, 1007, true);
    wt::Press(end, IDOK);
    ASSERT_TRUE(setup.Exit(&code));
  }
  EXPECT_EQ(proposal, "C:\\Program Files\\Panvester\\Hoshifuru");
  EXPECT_EQ(question, "[" + folder + "]にインストールします");
  EXPECT_TRUE(shortcut_box_checked);
  EXPECT_EQ(end_label, "お読みください");
  EXPECT_FALSE(end_readme_checked);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(wt::WorkFolders().empty()) << "work folder removed";
  // The readme was asked for: opened by its bare name, so the install folder was current.
  HWND readme = wt::WaitFor([] { return FindWindowTitled("readme.txt"); }, kTimeout);
  EXPECT_TRUE(readme) << "the readme opens after the end dialog";
  if (readme) PostMessageA(readme, WM_CLOSE, 0, 0);

  // Every file with its bytes and its stored last-write time; the folders too.
  std::uint64_t total = 0;
  for (const wt::PayloadFile& file : files) {
    const std::string path = folder + "\\" + file.name;
    if (file.name.back() == '\\') {
      EXPECT_TRUE(wt::DirectoryExists(path.substr(0, path.size() - 1))) << file.name;
      continue;
    }
    total += file.bytes.size();
    EXPECT_EQ(wt::ReadFile(path), file.bytes) << file.name;
    EXPECT_EQ(LastWriteTime(path), file.time) << file.name;
  }

  // The uninstaller the entry and its shortcut start: a copy in a folder of its own under the
  // common application data, beside the settings and the list it works from.
  std::string uninstaller = QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString").data.c_str();
  ASSERT_GT(uninstaller.size(), 2u);
  uninstaller = uninstaller.substr(1, uninstaller.size() - 2);
  const std::string records = uninstaller.substr(0, uninstaller.rfind('\\'));
  EXPECT_EQ(records.find(SpecialFolder(CSIDL_COMMON_APPDATA) + "\\PanvesterUninstall_"), 0u) << records;
  EXPECT_EQ(wt::ReadFile(uninstaller), wt::ReadFile(folder + "\\UnInst.exe"));
  EXPECT_EQ(wt::ReadFile(records + "\\install.env"), kInstallEnv);
  EXPECT_EQ(wt::ReadFile(records + "\\UnInst.lst"), wt::ReadFile(folder + "\\UnInst.lst"));

  // Shortcuts in the all-users folders (Wine is an NT 6 system).
  const std::string group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\サンプル\\" + kTitle + "\\";
  struct Expected {
    std::string link, target;
  };
  const Expected links[] = {
      {group + kTitle + ".LNK", folder + "\\game.exe"},
      {group + kTitle + " お読みください.LNK", folder + "\\readme.txt"},
      {group + kTitle + " アンインストール.LNK", uninstaller},
      {SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\" + kTitle + ".LNK", folder + "\\game.exe"},
  };
  for (const Expected& expected : links) {
    const ShortcutInfo link = ReadShortcut(expected.link);
    ASSERT_TRUE(link.loaded) << expected.link;
    EXPECT_EQ(link.target, expected.target);
    EXPECT_EQ(link.description, "Hoshifuru");
    EXPECT_EQ(link.working_folder, expected.target.substr(0, expected.target.rfind('\\')));
  }

  // The uninstall entry, with the extra values that Windows' list of programs shows.
  auto text = [](const std::string& s) { return s + '\0'; };
  EXPECT_EQ(QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName").data, text(kTitle));
  EXPECT_EQ(QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation").data, text(folder));
  EXPECT_EQ(QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon").data, text(folder + "\\game.exe"));
  const RegValue size = QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize");
  ASSERT_EQ(size.type, static_cast<DWORD>(REG_DWORD));
  DWORD kib = 0;
  std::memcpy(&kib, size.data.data(), sizeof kib);
  EXPECT_EQ(kib, (total + 1023) / 1024);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\PanvesterE2E\\Hoshifuru")) << "machine test key";

  // [reg] values under the per-user key and [ini] entries in the Windows folder's file.
  EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, kUserKey, "IsInst").data, text("1"));
  EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, kUserKey, "InstTo").data, text(folder));
  EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, kUserKey, "SaveFolder").data, text(folder + "\\save"));
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  const std::string ini = std::string(windows) + "\\hoshifuru.ini";
  char value[512];
  GetPrivateProfileStringA("Install", "Path", "", value, sizeof value, ini.c_str());
  EXPECT_EQ(std::string(value), folder);
  GetPrivateProfileStringA("Install", "Data", "", value, sizeof value, ini.c_str());
  EXPECT_EQ(std::string(value), folder + "\\data");
  GetPrivateProfileStringA("Install", "CD", "", value, sizeof value, ini.c_str());
  EXPECT_EQ(std::string(value), "E:\\") << "no CD-ROM drive in the prefix";

  // A second run proposes the folder the [reg] values remembered; cancelling leaves the
  // main window up, and its exit button ends the program normally.
  {
    SetupRun setup(setup_exe);
    ASSERT_TRUE(setup.Main());
    setup.PressMainButton("インストール");
    EXPECT_EQ(setup.ChooseFolder("", IDCANCEL), folder);
    EXPECT_EQ(setup.AnswerBox(IDOK), kCancelled);
    EXPECT_TRUE(IsWindow(setup.Main()));
    setup.PressMainButton("終了");
    ASSERT_TRUE(setup.Exit(&code));
    EXPECT_EQ(code, 0u);
  }
  EXPECT_TRUE(wt::WorkFolders().empty());
}

TEST_F(InstallEndToEnd, RefusedFoldersAndCancelKeepTheMainWindow) {
  const std::string setup_exe = MakeSetupProgram(wt::TempDir() + "\\e2e-refused", GameFiles());
  SetupRun setup(setup_exe);
  ASSERT_TRUE(setup.Main());
  struct Row {
    const char* typed;
    int answer;  // to the folder rule's own box
    const char* box;
  };
  const Row rows[] = {
      {"\\\\server\\share\\Game", IDOK,
       "ネットワークドライブには対応していません。\nローカルドライブを選択して下さい。"},
      {"C:", IDRETRY, "ルートにはインストールできません"},
  };
  for (const Row& row : rows) {
    setup.PressMainButton("インストール");
    setup.ChooseFolder(row.typed);
    EXPECT_EQ(setup.AnswerBox(row.answer), row.box) << row.typed;
    EXPECT_EQ(setup.AnswerBox(IDOK), kCancelled) << row.typed;
  }
  // Cancel in the folder dialog, and No in the question.
  setup.PressMainButton("インストール");
  setup.ChooseFolder("", IDCANCEL);
  EXPECT_EQ(setup.AnswerBox(IDOK), kCancelled);
  setup.PressMainButton("インストール");
  setup.ChooseFolder("C:\\Games\\NotHere");
  EXPECT_EQ(setup.AnswerBox(IDNO), "[C:\\Games\\NotHere]にインストールします");
  EXPECT_EQ(setup.AnswerBox(IDOK), kCancelled);
  EXPECT_FALSE(wt::DirectoryExists("C:\\Games\\NotHere"));

  setup.PressMainButton("終了");
  DWORD code = 1;
  ASSERT_TRUE(setup.Exit(&code));
  EXPECT_EQ(code, 0u);
}

TEST_F(InstallEndToEnd, WithoutAdministratorRightsNothingIsAsked) {
  ASSERT_TRUE(RefuseMachineKeysUnder("PanvesterE2E"));
  const std::string setup_exe = MakeSetupProgram(wt::TempDir() + "\\e2e-admin", GameFiles());
  SetupRun setup(setup_exe);
  ASSERT_TRUE(setup.Main());
  setup.PressMainButton("インストール");
  EXPECT_EQ(setup.AnswerBox(IDOK), "インストールにはAdministrator権限が必要です。");
  EXPECT_FALSE(wt::FindDialog(setup.id(), kSetupTitle)) << "no folder dialog after the refusal";
  setup.PressMainButton("終了");
  DWORD code = 1;
  ASSERT_TRUE(setup.Exit(&code));
  EXPECT_EQ(code, 0u);
  DeleteTree(HKEY_LOCAL_MACHINE, "Software\\PanvesterE2E");
}

// The game still running during a reinstall holds its program open: the install names the
// file and waits for the player, instead of calling the archive damaged.
TEST_F(InstallEndToEnd, AFileInUseIsNamedAndRetriedOrCancelled) {
  const std::vector<wt::PayloadFile> files = GameFiles();
  const std::string setup_exe = MakeSetupProgram(wt::TempDir() + "\\e2e-in-use", files);
  const std::string folder = "C:\\Games\\使用中";
  const std::string game = folder + "\\game.exe";
  ASSERT_TRUE(wt::MakeDirs(folder));
  ASSERT_TRUE(wt::WriteFile(game, "old game"));
  const std::string in_use = game + "\nは他のプログラムが使用中のため書き込めません。\n"
                             "プログラムを終了してから[再試行]を押して下さい。";
  auto hold = [&] {
    return CreateFileA(game.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  };

  // Cancel ends the install as a failure: no further box, -1, the work folder removed.
  HANDLE held = hold();
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  DWORD code = 0;
  {
    SetupRun setup(setup_exe);
    ASSERT_TRUE(setup.BeginInstall(folder));
    EXPECT_EQ(setup.AnswerBox(IDCANCEL), in_use);
    ASSERT_TRUE(setup.Exit(&code)) << "no box after Cancel";
  }
  EXPECT_EQ(code, 0xFFFFFFFFu);
  EXPECT_TRUE(wt::WorkFolders().empty());
  CloseHandle(held);
  EXPECT_EQ(wt::ReadFile(game), "old game");

  // Retry after the file is released writes it, and the install goes on to its end.
  held = hold();
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  {
    SetupRun setup(setup_exe);
    ASSERT_TRUE(setup.BeginInstall(folder));
    HWND box = wt::WaitFor([&] { return wt::FindMessageBox(setup.id()); }, kTimeout);
    ASSERT_TRUE(box);
    EXPECT_EQ(wt::MessageBoxText(box), in_use);
    CloseHandle(held);
    wt::Press(box, IDRETRY);
    HWND shortcut = setup.Dialog(kShortcutTitle);
    ASSERT_TRUE(shortcut) << "the install goes on";
    wt::Press(shortcut, IDCANCEL);
    HWND end = setup.Dialog(kEndTitle);
    ASSERT_TRUE(end);
    wt::Press(end, IDOK);
    ASSERT_TRUE(setup.Exit(&code));
  }
  EXPECT_EQ(code, 0u);
  for (const wt::PayloadFile& file : files) {
    if (file.name.back() == '\\') continue;
    EXPECT_EQ(wt::ReadFile(folder + "\\" + file.name), file.bytes) << file.name;
  }
  DeleteTree(HKEY_CURRENT_USER, "Software\\PanvesterE2E");
}

// Another tool's archive, written here as the format describes and nothing more: no install
// list unless asked for, no uninstaller, the highest compression level, appended to the program.
std::string ForeignSetup(const std::string& folder, const std::vector<wt::PayloadFile>& files) {
  const std::string exe = folder + "\\setup.exe";
  if (!wt::MakeDirs(folder) || !CopyFileA(wt::ProgramUnderTest().c_str(), exe.c_str(), FALSE)) return "";
  std::string bytes = wt::ReadFile(exe);
  const std::uint32_t start = static_cast<std::uint32_t>(bytes.size());
  auto put = [&](std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  for (const wt::PayloadFile& file : files) {
    put(file.name.size() + 1, 2);
    bytes += file.name + '\0';
    if (file.name.back() == '\\') {
      put(0xFFFFFFFFu, 4);
      put(0xFFFFFFFFu, 4);
      continue;
    }
    std::vector<unsigned char> z(compressBound(static_cast<uLong>(file.bytes.size())));
    uLongf packed = static_cast<uLongf>(z.size());
    compress2(z.data(), &packed, reinterpret_cast<const Bytef*>(file.bytes.data()), static_cast<uLong>(file.bytes.size()), 9);
    put(file.bytes.size(), 4);
    put(packed, 4);
    put(file.time, 8);
    bytes.append(reinterpret_cast<const char*>(z.data()), packed);
  }
  put(0, 4);
  put(start, 4);
  return wt::WriteFile(exe, bytes) ? exe : "";
}

std::vector<std::string> RecordsFolders() {
  return wt::ListNames(SpecialFolder(CSIDL_COMMON_APPDATA), "PanvesterUninstall_*");
}

// An archive of another writer installs as the program always did, without a box on the way:
// the entry and the shortcut name UnInst.exe of the install folder. One with our install list
// but no uninstaller registers none, also over an earlier installation's entry.
TEST_F(InstallEndToEnd, ArchivesOfAnyWriterInstallWithoutABox) {
  std::vector<wt::PayloadFile> game;
  for (const wt::PayloadFile& file : GameFiles()) {
    if (file.name != "UnInst.exe") game.push_back(file);
  }
  const std::string folder = "C:\\Games\\Foreign";
  const std::string link = SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\サンプル\\" + kTitle + "\\" + kTitle +
                           " アンインストール.LNK";
  struct Row {
    const char* label;
    bool with_list;
    std::string uninstall_string;  // empty: none
  };
  const Row rows[] = {{"another writer", false, "\"" + folder + "\\UnInst.exe\""},
                      {"our list, no UnInst.exe", true, ""}};
  const std::vector<std::string> records_before = RecordsFolders();
  for (const Row& row : rows) {
    std::vector<wt::PayloadFile> files = game;
    if (row.with_list) files.insert(files.begin() + 4, {"UnInst.lst", "game.exe\r\nreadme.txt\r\n"});
    const std::string setup_exe = ForeignSetup(wt::TempDir() + "\\e2e-foreign-" + (row.with_list ? "1" : "0"), files);
    ASSERT_FALSE(setup_exe.empty());
    DWORD code = 1;
    {
      SetupRun setup(setup_exe);
      ASSERT_TRUE(setup.Main()) << row.label;
      setup.PressMainButton("インストール");
      setup.ChooseFolder(folder);
      EXPECT_EQ(setup.AnswerBox(IDYES), "[" + folder + "]にインストールします");
      // A box after the extraction would hold the desktop question back.
      HWND shortcut = setup.Dialog(kShortcutTitle);
      ASSERT_TRUE(shortcut) << row.label << ": " << wt::MessageBoxText(wt::FindMessageBox(setup.id()));
      wt::Press(shortcut, IDCANCEL);
      HWND end = setup.Dialog(kEndTitle);
      ASSERT_TRUE(end) << row.label;
      wt::Press(end, IDOK);
      ASSERT_TRUE(setup.Exit(&code));
    }
    EXPECT_EQ(code, 0u) << row.label;
    for (const wt::PayloadFile& file : files) {
      if (file.name.back() != '\\') {
        EXPECT_EQ(wt::ReadFile(folder + "\\" + file.name), file.bytes) << file.name;
      }
    }
    const RegValue entry = QueryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
    EXPECT_EQ(entry.found ? std::string(entry.data.c_str()) : std::string(), row.uninstall_string) << row.label;
    const ShortcutInfo shortcut = ReadShortcut(link);
    EXPECT_EQ(shortcut.loaded, !row.uninstall_string.empty()) << row.label;
    if (shortcut.loaded) {
      EXPECT_EQ(shortcut.target, folder + "\\UnInst.exe");
    }
    EXPECT_EQ(RecordsFolders(), records_before) << row.label << ": no records folder made or left";
    DeleteFileA(link.c_str());
  }
  DeleteTree(HKEY_CURRENT_USER, "Software\\PanvesterE2E");
}

// A drive of a few megabytes: a tmpfs of its own (we run as root), mapped to X:. Gone again,
// letter and mount, at the end of the scope.
class SmallDrive {
 public:
  explicit SmallDrive(int megabytes) {
    folder_ = wt::UnixPath(wt::TempDir()) + "/small-drive";
    std::string output;
    const int status = wt::RunUnixScript("mkdir -p '" + folder_ + "' && mount -t tmpfs -o size=" +
                                             std::to_string(megabytes) + "m tmpfs '" + folder_ + "'",
                                         &output);
    mounted_ = status == 0;
    if (!mounted_) {
      failure_ = "no tmpfs could be mounted (status " + std::to_string(status) + "): " + output;
    } else if (!(lettered_ = wt::DefineUnixDrive('x', folder_, DRIVE_FIXED))) {
      failure_ = "no drive letter for it";
    }
  }
  ~SmallDrive() {
    if (lettered_) wt::DefineUnixDrive('x', "", DRIVE_FIXED);
    // Lazily, so that a file still open there cannot keep the mount in the prefix, which the
    // test runner removes.
    if (mounted_) wt::RunUnixScript("umount -l '" + folder_ + "'");
  }
  SmallDrive(const SmallDrive&) = delete;
  SmallDrive& operator=(const SmallDrive&) = delete;
  bool ok() const { return mounted_ && lettered_; }
  const std::string& failure() const { return failure_; }

 private:
  std::string folder_;
  std::string failure_;
  bool mounted_ = false;
  bool lettered_ = false;
};

// A game far larger than its drive, though its setup is small: 8 MiB of zeros, and 200 files
// of one byte, which take a 4 KiB cluster each there.
TEST_F(InstallEndToEnd, TooLittleSpaceIsAskedAboutAndAFullDiskNamesTheFile) {
  SmallDrive drive(4);
  if (!drive.ok()) GTEST_SKIP() << drive.failure();
  std::vector<wt::PayloadFile> files = GameFiles();
  files.push_back({"data\\zeros.bin", std::string(8 << 20, '\0')});
  for (int i = 0; i < 200; ++i) files.push_back({"data\\t" + std::to_string(1000 + i) + ".txt", "x"});
  const std::string setup_exe = MakeSetupProgram(wt::TempDir() + "\\e2e-small-drive", files);
  const std::string folder = "X:\\Game";
  ULARGE_INTEGER free_bytes{};
  ASSERT_TRUE(GetDiskFreeSpaceExA("X:\\", &free_bytes, nullptr, nullptr));
  // Rounded up to whole clusters the game needs over 9 MiB; counted in bytes, under 9.
  const std::string question = "インストール先の空き容量が不足しています。\n必要な空き容量: 10 MB\n現在の空き容量: " +
                               std::to_string((free_bytes.QuadPart + 1048575) / 1048576) +
                               " MB\nこのままインストールを続けますか？";
  DeleteTree(HKEY_LOCAL_MACHINE, kUninstallKey);
  const std::vector<std::string> records_before = RecordsFolders();

  // No: nothing is made, and the main window stays, as after a cancelled folder choice.
  {
    SetupRun setup(setup_exe);
    ASSERT_TRUE(setup.Main());
    setup.PressMainButton("インストール");
    setup.ChooseFolder(folder);
    EXPECT_EQ(setup.AnswerBox(IDYES), "[" + folder + "]にインストールします");
    wt::SetClipboardText("before");
    HWND box = wt::WaitFor([&] { return wt::FindMessageBox(setup.id()); }, kTimeout);
    ASSERT_TRUE(box);
    EXPECT_EQ(wt::MessageBoxText(box), question);
    EXPECT_EQ(wt::ClipboardText(), "before") << "a question is not copied";
    wt::Press(box, IDNO);
    WaitUntilGone(box);
    EXPECT_EQ(setup.AnswerBox(IDOK), kCancelled);
    EXPECT_TRUE(IsWindow(setup.Main()));
    EXPECT_FALSE(wt::DirectoryExists(folder));
    setup.PressMainButton("終了");
    DWORD code = 1;
    ASSERT_TRUE(setup.Exit(&code));
    EXPECT_EQ(code, 0u);
  }

  // Yes: the install runs into the full disk, which is named with the file it stopped at.
  const std::string full = "ディスクの空き容量が不足しているため、ファイルを書き込めませんでした。\n" + folder +
                           "\\data\\zeros.bin";
  DWORD code = 0;
  {
    SetupRun setup(setup_exe);
    ASSERT_TRUE(setup.BeginInstall(folder));
    EXPECT_EQ(setup.AnswerBox(IDYES), question);
    EXPECT_EQ(setup.AnswerBox(IDOK), full);
    ASSERT_TRUE(setup.Exit(&code));
  }
  EXPECT_EQ(code, 0xFFFFFFFFu);
  EXPECT_EQ(wt::ClipboardText(), full);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) << "no uninstall entry";
  EXPECT_TRUE(wt::WorkFolders().empty());
  EXPECT_EQ(RecordsFolders(), records_before) << "no records folder left";
}

// Every file below `folder` (names relative to it) with its bytes.
void CollectFiles(const std::string& folder, const std::string& prefix, std::map<std::string, std::string>* files) {
  for (const std::string& name : wt::ListNames(folder, "*")) {
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      CollectFiles(path, prefix + name + "\\", files);
    } else {
      (*files)[prefix + name] = wt::ReadFile(path);
    }
  }
}

// Installs a setup into `folder`, answering as a player who takes the defaults.
DWORD InstallInto(const std::string& setup_exe, const std::string& folder, std::string* box = nullptr) {
  DWORD code = 1;
  SetupRun setup(setup_exe);
  if (!setup.BeginInstall(folder)) return 1;
  if (box) {
    *box = setup.AnswerBox(IDOK);
  } else {
    HWND shortcut = setup.Dialog(kShortcutTitle);
    if (!shortcut) return 1;
    wt::Press(shortcut, IDCANCEL);
    HWND end = setup.Dialog(kEndTitle);
    if (!end) return 1;
    wt::Press(end, IDOK);
  }
  return setup.Exit(&code) ? code : 1;
}

// A game in three volumes installs exactly the files of the same game in one; with a volume
// missing, the install ends naming it before anything is written.
TEST_F(InstallEndToEnd, AGameInVolumesInstallsAsInOne) {
  std::vector<wt::PayloadFile> files = GameFiles();
  files.push_back({"data\\voice.pak", wt::Noise(900000, 11)});
  const std::string one = wt::MakeSetup(wt::TempDir() + "\\e2e-one", files, wt::Container::kAppended);
  const std::string three = wt::MakeVolumeSetup(wt::TempDir() + "\\e2e-three", files, 3);
  ASSERT_FALSE(one.empty());
  ASSERT_FALSE(three.empty());
  ASSERT_EQ(InstallInto(one, "C:\\Games\\One"), 0u);
  ASSERT_EQ(InstallInto(three, "C:\\Games\\Three"), 0u);
  std::map<std::string, std::string> from_one, from_three;
  CollectFiles("C:\\Games\\One", "", &from_one);
  CollectFiles("C:\\Games\\Three", "", &from_three);
  EXPECT_GT(from_one.size(), 5u);
  // Only the list's order may differ: the setup files go first in a split archive.
  from_one.erase("UnInst.lst");
  from_three.erase("UnInst.lst");
  EXPECT_TRUE(from_one == from_three);

  const std::string volume = wt::TempDir() + "\\e2e-three\\instdat.003";
  const std::string kept = wt::ReadFile(volume);
  ASSERT_TRUE(DeleteFileA(volume.c_str()));
  std::string box;
  EXPECT_EQ(InstallInto(three, "C:\\Games\\Broken", &box), static_cast<DWORD>(-1));
  EXPECT_EQ(box, "[instdat.003]が見つからないか、壊れています。");
  std::map<std::string, std::string> broken;
  CollectFiles("C:\\Games\\Broken", "", &broken);
  // Found before the copying begins: nothing of the game is written.
  EXPECT_TRUE(broken.empty()) << broken.size() << " files";
  wt::WriteFile(volume, kept);
  DeleteTree(HKEY_CURRENT_USER, "Software\\PanvesterE2E");
}

}  // namespace
