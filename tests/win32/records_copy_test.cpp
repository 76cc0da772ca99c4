// The uninstaller's records are the archive's bytes, whatever happens to the install folder
// meanwhile. This test program copies itself beside a side-car archive and runs the copy, which
// makes the setup pass and the full pass with a hook in the walk that changes the installed
// files (or the records folder) as soon as they are written.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive_walk_win.h"
#include "common/cp932.h"
#include "common/message_win.h"
#include "driver/install_sequence_win.h"
#include "driver/work_folder_win.h"
#include "settings/resource_opener.h"
#include "settings/resource_opener_win.h"
#include "settings/setting_list.h"
#include "support/setup_builder.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"
#include "system/shortcuts_win.h"

namespace {

constexpr char kChildMode[] = "PV_RECORDS_MODE";
constexpr char kChildTarget[] = "PV_RECORDS_TARGET";
constexpr char kUninstallerBytes[] = "MZ the archive's uninstaller\r\n";
constexpr char kFailed[] = "アンインストール情報を保存できませんでした。\nアンインストーラは使用できません。";

std::string CommonAppData() {
  char path[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, path, CSIDL_COMMON_APPDATA, FALSE);
  return path;
}

std::vector<std::string> RecordsFolders() { return wt::ListNames(CommonAppData(), "PanvesterUninstall_*"); }

bool EndsWith(const std::string& path, const char* leaf) {
  const std::string lower = LowerMb(path), tail = LowerMb(leaf);
  return lower.size() >= tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
}

// Someone who may write the install folder replaces what the install is about to trust.
void SwapInstalled(const std::string& path) {
  if (EndsWith(path, "\\UnInst.exe") || EndsWith(path, "\\UnInst.lst")) wt::WriteFile(path, "swapped");
}

// The records folder cannot be finished: its install.env is there already.
void BlockRecords(const std::string& path) {
  if (!EndsWith(path, "\\UnInst.exe")) return;
  for (const std::string& name : RecordsFolders()) {
    const std::string settings = CommonAppData() + "\\" + name + "\\install.env";
    if (!wt::FileExists(settings)) wt::WriteFile(settings, "in the way");
  }
}

// The program's start-up and full pass, with the hook, then the registration; the
// uninstaller it settled on goes to result.txt beside the target.
int RunChild(const std::string& mode, const std::string& target) {
  CoInitialize(nullptr);
  SetMainWindowHandle(MakeStandInMainWindow());
  SetPlainFileSwitch(1);
  CreateWorkFolder();
  WalkArchive(WorkFolderPath(), 1, RemoveWorkFolder);
  KeepStartupSettings();
  SetSettingFileOpener(OpenSetupFile);
  LoadSettingList("install.env");
  SetWalkFileHook(mode == "swap" ? SwapInstalled : BlockRecords);
  wt::MakeDirs(target);
  ExtractPayload(target.c_str(), {});
  RegisterUninstaller(target.c_str());
  CreateStartMenuShortcuts(target.c_str());
  const ShortcutSettings settings = CurrentShortcutSettings();
  wt::WriteFile(target + ".result", settings.no_uninstaller ? "none" : settings.uninstaller);
  RemoveWorkFolder();
  return 0;
}

const bool g_child = [] {
  const char* mode = std::getenv(kChildMode);
  const char* target = std::getenv(kChildTarget);
  if (mode && target) std::exit(RunChild(mode, target));
  return false;
}();

struct ChildRun {
  std::string target;
  std::string uninstaller;  // what the entry and the shortcut start, or "none"
  std::string box;          // the box the child showed, if any
};

// Stages this program beside the archive of a game titled `title` and runs it in `mode`.
ChildRun RunInstall(const std::string& mode, const std::string& title) {
  const std::string folder = wt::TempDir() + "\\records-" + mode;
  const std::vector<wt::PayloadFile> files = {
      {"install.env", "TITLEBAR\t" + title + "\r\nEXENAME\tgame.exe\r\n"},
      {"game.exe", "MZ game\r\n"},
      {"UnInst.exe", kUninstallerBytes},
      {"data\\", ""},
      {"data\\a.bin", wt::Noise(200000, 3)},
  };
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string child = wt::MakeSetup(folder, files, wt::Container::kSidecar, self);
  ChildRun run;
  run.target = folder + "\\Game";
  if (child.empty()) return run;
  SetEnvironmentVariableA(kChildMode, mode.c_str());
  SetEnvironmentVariableA(kChildTarget, run.target.c_str());
  wt::Process process = wt::Start(child, folder);
  SetEnvironmentVariableA(kChildMode, nullptr);
  SetEnvironmentVariableA(kChildTarget, nullptr);
  DWORD code = 1;
  for (int i = 0; i < 600 && !wt::WaitExit(process, 100, &code); ++i) {
    if (HWND box = wt::FindMessageBox(process.id)) {
      run.box = wt::MessageBoxText(box);
      wt::Press(box, IDOK);
    }
  }
  wt::Kill(process);
  run.uninstaller = wt::ReadFile(run.target + ".result");
  return run;
}

std::string EntryOf(const std::string& title) {
  const RegValue value = QueryValue(HKEY_LOCAL_MACHINE,
                                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RvApp" + title,
                                    "UninstallString");
  return value.found ? value.data.c_str() : "";
}

std::string UninstallShortcutTarget(const std::string& title) {
  char programs[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
  const ShortcutInfo link = ReadShortcut(std::string(programs) + "\\" + title + "\\" + title + " アンインストール.LNK");
  return link.loaded ? link.target : "";
}

TEST(RecordsCopy, IsTheArchivesBytesWhateverTheInstallFolderHoldsBySwapTime) {
  CoInitialize(nullptr);
  const ChildRun run = RunInstall("swap", "Swapped");
  EXPECT_EQ(run.box, "");
  EXPECT_EQ(wt::ReadFile(run.target + "\\UnInst.exe"), "swapped") << "the hook ran";
  const std::string records = CommonAppData() + "\\PanvesterUninstall_";
  ASSERT_EQ(run.uninstaller.compare(0, records.size(), records), 0) << run.uninstaller;
  const std::string folder = run.uninstaller.substr(0, run.uninstaller.rfind('\\'));
  EXPECT_EQ(wt::ReadFile(run.uninstaller), kUninstallerBytes);
  const std::string list = wt::ReadFile(folder + "\\UnInst.lst");
  EXPECT_NE(list.find("game.exe"), std::string::npos) << list;
  EXPECT_EQ(wt::ReadFile(folder + "\\install.env"), "TITLEBAR\tSwapped\r\nEXENAME\tgame.exe\r\n");
  EXPECT_EQ(EntryOf("Swapped"), "\"" + run.uninstaller + "\"");
  EXPECT_EQ(UninstallShortcutTarget("Swapped"), run.uninstaller);
}

TEST(RecordsCopy, ThatCannotBeMadeRegistersNoUninstaller) {
  CoInitialize(nullptr);
  const std::vector<std::string> before = RecordsFolders();
  const ChildRun run = RunInstall("block", "Blocked");
  EXPECT_EQ(run.box, kFailed);
  EXPECT_EQ(run.uninstaller, "none");
  EXPECT_EQ(EntryOf("Blocked"), "") << "no UninstallString";
  EXPECT_EQ(UninstallShortcutTarget("Blocked"), "") << "no uninstaller shortcut";
  EXPECT_EQ(RecordsFolders(), before) << "the half-made records folder is removed";
  EXPECT_EQ(wt::ReadFile(run.target + "\\UnInst.exe"), kUninstallerBytes) << "the game itself is installed";
}

}  // namespace
