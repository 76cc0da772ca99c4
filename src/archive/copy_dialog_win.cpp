#include "archive/copy_dialog_win.h"

#include <commctrl.h>

#include "archive/archive_walk.h"
#include "common/callback_guard_win.h"
#include "common/message_win.h"
#include "common/wide_win.h"

namespace {

HWND g_dialog = nullptr;
HWND g_animation = nullptr;
std::int32_t g_archive_length = 0;

void SetBarRange(HWND dialog, int id, int top) {
  SendDlgItemMessageW(dialog, id, PBM_SETRANGE, 0, MAKELPARAM(0, top));
}

void SetBarPosition(HWND dialog, int id, int position) {
  SendDlgItemMessageW(dialog, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

}  // namespace

static INT_PTR CopyDialogProcBody(HWND dialog, UINT message, WPARAM wparam) {
  switch (message) {
    case WM_INITDIALOG:
      UseJapaneseDialogFont(dialog);
      CenterWindow(dialog);
      SetDlgItemTextW(dialog, kCopyFileName, L"");
      for (int bar : {kCopyFileBar, kCopyOverallBar}) {
        SetBarRange(dialog, bar, 1);
        SetBarPosition(dialog, bar, 0);
      }
      g_animation = GetDlgItem(dialog, kCopyAnimation);
      SendMessageW(g_animation, ACM_OPENW, reinterpret_cast<WPARAM>(GetModuleHandleW(nullptr)),
                   reinterpret_cast<LPARAM>(L"AVI_FILECOPY"));
      // From the first frame to the last (0xFFFF), repeated without end.
      SendMessageW(g_animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
      ShowWindow(g_animation, SW_SHOW);
      return TRUE;
    case WM_COMMAND:
      // The button stops the animation only: the copy goes on until the walk ends.
      if (wparam == kCopyCancel) SendMessageW(g_animation, ACM_STOP, 0, 0);
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK CopyDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  return GuardCallback([&] { return CopyDialogProcBody(dialog, message, wparam); });
}

HWND OpenCopyDialog(std::int32_t archive_length) {
  g_archive_length = archive_length;
  CloseCopyDialog();
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  g_dialog = CreateDialogParamW(MainWindowInstance(), L"COPYINGDELUX", MainWindowHandle(), CopyDialogProc, 0);
  if (!g_dialog) return nullptr;
  PumpMessages();
  SetBarRange(g_dialog, kCopyOverallBar, OverallRange(g_archive_length));
  SetBarPosition(g_dialog, kCopyOverallBar, 0);
  PumpMessages();
  return g_dialog;
}

void CloseCopyDialog() {
  if (!g_dialog) return;
  DestroyWindow(g_dialog);
  g_dialog = nullptr;
  g_animation = nullptr;
  PumpMessages();
}

HWND CopyDialogHandle() { return g_dialog; }

void ShowCopyFile(const char* path, int file_range) {
  if (!g_dialog) return;
  SetDlgItemTextCp932(g_dialog, kCopyFileName, path);
  // No lower bound of one here, unlike the overall bar: a file under a block gets 0 .. 0.
  SetBarRange(g_dialog, kCopyFileBar, file_range);
  SetBarPosition(g_dialog, kCopyFileBar, 0);
}

void ShowCopyProgress(int file_position, int overall_position) {
  if (!g_dialog) return;
  SetBarPosition(g_dialog, kCopyFileBar, file_position);
  SetBarPosition(g_dialog, kCopyOverallBar, overall_position);
}
