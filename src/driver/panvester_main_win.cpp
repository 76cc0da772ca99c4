// Panvester.exe: start-up, single instance, the main window, and the work folder's removal.
#include <windows.h>
#include <objbase.h>

#include <cstdlib>

#include "archive/archive_walk_win.h"
#include "common/callback_guard_win.h"
#include "common/message_win.h"
#include "common/process_guard_win.h"
#include "common/setup_names.h"
#include "common/single_instance_win.h"
#include "driver/install_sequence_win.h"
#include "driver/main_window_win.h"
#include "driver/work_folder_win.h"
#include "settings/resource_opener_win.h"
#include "settings/section_lists_win.h"
#include "settings/setting_list.h"

namespace {

void UninitializeCom() { CoUninitialize(); }

int Run(HINSTANCE instance) {
  GuardProcess();
  CoInitialize(nullptr);
  std::atexit(UninitializeCom);
  SetPlainFileSwitch(1);
  CreateWorkFolder();
  SetFatalCleanup(RemoveWorkFolder);
  WalkArchive(WorkFolderPath(), 1, RemoveWorkFolder);

  if (!SetupFileExists(kSettingsFileName)) {
    ErrorBox("起動に必要なファイルが不足しています。\nインストールの異常終了、起動するフォルダ異常、等を確認してください。");
    RemoveWorkFolder();
    std::exit(-1);
  }
  KeepStartupSettings();
  SetSettingFileOpener(OpenSetupFile);
  LoadSettingList(kSettingsFileName);
  ReadSectionLists(kSettingsFileName);

  const InstanceStatus status = TakeSingleInstance(SettingStartupTitle(), SettingTitleBar());
  if (status != InstanceStatus::kOnly) {
    RemoveWorkFolder();
    std::exit(status == InstanceStatus::kAlreadyRunning ? 0 : -1);
  }

  // Every close path ends the dialog with 0, so this runs once; -1 means the dialog
  // itself could not be made, and showing it again would loop for ever.
  for (;;) {
    const INT_PTR result = DialogBoxParamW(instance, L"MAINDIALOG", nullptr, MainWindowProc, 0);
    if (result == 0) break;
    if (result == -1) {
      RemoveWorkFolder();
      std::exit(-1);
    }
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return GuardCallback([&] { return Run(instance); });
}
