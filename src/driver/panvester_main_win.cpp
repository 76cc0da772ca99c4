// Panvester.exe: start-up, single instance, the main window, and the work folder's removal.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>

#include "common/message_win.h"
#include "driver/main_window_win.h"
#include "driver/work_folder_win.h"

namespace {

void UninitializeCom() { CoUninitialize(); }

constexpr DWORD kAlreadyExists = 183;

const char* StartupTitle() { return "ＶＥＬＵＮＡ アプリケーション スタートアップ"; }
const char* TitleBar() { return "ＶＥＬＵＮＡ アプリケーション"; }

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  CoInitialize(nullptr);
  std::atexit(UninitializeCom);
  CreateWorkFolder();

  HANDLE mutex = CreateMutexA(nullptr, TRUE, StartupTitle());
  if (!mutex) {
    RemoveWorkFolder();
    std::exit(0);
  }
  if (GetLastError() == kAlreadyExists) {
    char text[kMessageBuffer];
    std::snprintf(text, sizeof text, "[ %s ] は既に起動中です", StartupTitle());
    MessageBoxA(nullptr, text, TitleBar(), MB_OK | MB_ICONERROR);
    RemoveWorkFolder();
    std::exit(0);
  }

  // Every close path ends the dialog with 0, so this runs once; -1 means the dialog
  // itself could not be made, and showing it again would loop for ever.
  for (;;) {
    const INT_PTR result = DialogBoxParamA(instance, "MAINDIALOG", nullptr, MainWindowProc, 0);
    if (result == 0) break;
    if (result == -1) {
      RemoveWorkFolder();
      std::exit(-1);
    }
  }
  return 0;
}
