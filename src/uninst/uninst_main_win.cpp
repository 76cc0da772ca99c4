// UnInst.exe: started from its protected records folder (Start menu, the system's list of
// programs), it asks, hands the work to a copy of itself in a fresh private folder of the
// common application data and ends; the copy removes the installation, the records and then
// itself.
#include <windows.h>
#include <objbase.h>

#include <cstdlib>

#include "common/callback_guard_win.h"
#include "common/message_win.h"
#include "common/process_guard_win.h"
#include "common/single_instance_win.h"
#include "settings/resource_opener_win.h"
#include "settings/setting_list.h"
#include "uninst/hand_over.h"
#include "uninst/installation_win.h"
#include "uninst/self_copy_win.h"
#include "uninst/uninstall_win.h"

namespace {

constexpr unsigned long kHandOverWaitMs = 30000;

void UninitializeCom() { CoUninitialize(); }

// The C runtime calls this while the process ends: nothing can be reported any more, and an
// exception must not unwind into it. The copy then stays, as it does when the batch fails.
void DeleteSelfAtExit() {
  try {
    DeleteSelfLater();
  } catch (...) {
  }
}

// The program the player started: everything is read and asked here, nothing removed.
int RunOriginal() {
  Installation installation;
  if (!LoadInstallation(ProgramFolder(), &installation)) return -1;
  const std::string title = UninstallTitle();
  SetUninstallWindowTitle(title);
  if (TakeSingleInstance(title.c_str(), SettingTitleBar()) != InstanceStatus::kOnly) return 0;
  if (!YesNoBox("「%s」をアンインストールしますか？", SettingTitleBar())) return 0;
  if (!StartTemporaryCopy(installation.records_folder)) {
    ErrorBox("アンインストーラを一時フォルダにコピーできませんでした。\nアンインストールを中止します。");
    return -1;
  }
  return 0;
}

// The copy in its private folder: it outlives the install folder and then deletes itself,
// whichever way it ends.
int RunCopy(const HandOver& hand_over) {
  std::atexit(DeleteSelfAtExit);
  WaitForOriginal(hand_over.parent_id);
  Installation installation;
  if (!LoadInstallation(hand_over.records_folder, &installation)) return -1;
  const std::string title = UninstallTitle();
  SetUninstallWindowTitle(title);
  // The original held the mutex until it ended; anyone else holding it now is a second run.
  if (!InheritSingleInstance(title.c_str(), kHandOverWaitMs)) {
    TakeSingleInstance(title.c_str(), SettingTitleBar());
    return 0;
  }
  return RunUninstall(installation);
}

int Run(const char* arguments) {
  GuardProcess();
  CoInitialize(nullptr);
  std::atexit(UninitializeCom);
  SetPlainFileSwitch(1);
  SetSettingFileOpener(OpenSetupFile);
  CreateUninstallWindow();
  HandOver hand_over;
  if (ParseHandOverArguments(arguments ? arguments : "", &hand_over)) return RunCopy(hand_over);
  return RunOriginal();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
  return GuardCallback([&] { return Run(arguments); });
}
