#include "archive/copy_dialog_win.h"

#include <commctrl.h>

#include <string>

#include "archive/archive_walk.h"
#include "common/callback_guard_win.h"
#include "common/message_win.h"
#include "common/wide_win.h"

namespace {

HWND g_dialog = nullptr;
HWND g_animation = nullptr;
std::int64_t g_archive_length = 0;

// Every change of a bar repaints it at once, and a themed bar is slow to paint: what the
// dialog shows is brought up to date at most this often (the first file at once), and a
// bar only where its filled part grows or shrinks on screen.
constexpr DWORD kShowInterval = 40;

struct Shown {
  std::string name;  // the file being written
  int file_range = 1;
  int file_position = 0;
  int overall_position = 0;
};
Shown g_wanted, g_shown;
bool g_refreshed = false;  // since the dialog opened
DWORD g_refreshed_at = 0;
int g_file_width = 0, g_overall_width = 0;  // the bars' client widths in pixels

// The 32-bit range: the 16-bit one of PBM_SETRANGE ends at 65535 blocks, 8 GiB of archive.
void SetBarRange(HWND dialog, int id, int top) {
  SendDlgItemMessageW(dialog, id, PBM_SETRANGE32, 0, static_cast<LPARAM>(top));
}

void SetBarPosition(HWND dialog, int id, int position) {
  SendDlgItemMessageW(dialog, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int ClientWidth(int id) {
  RECT client{};
  GetClientRect(GetDlgItem(g_dialog, id), &client);
  return client.right - client.left;
}

// The filled part of a bar in pixels.
std::int64_t Filled(int position, int range, int width) {
  return range > 0 ? static_cast<std::int64_t>(position) * width / range : 0;
}

void MoveBar(int id, int position, int range, int width, int* shown, bool force) {
  if (*shown == position) return;
  if (!force && Filled(position, range, width) == Filled(*shown, range, width)) return;
  *shown = position;
  SetBarPosition(g_dialog, id, position);
}

void Refresh() {
  const DWORD now = GetTickCount();
  if (g_refreshed && now - g_refreshed_at < kShowInterval) return;
  g_refreshed = true;
  g_refreshed_at = now;
  if (g_wanted.name != g_shown.name) {
    g_shown.name = g_wanted.name;
    SetDlgItemTextCp932(g_dialog, kCopyFileName, g_shown.name.c_str());
  }
  // A new range may clamp the position the bar holds: it is set again with it.
  const bool new_range = g_wanted.file_range != g_shown.file_range;
  if (new_range) {
    g_shown.file_range = g_wanted.file_range;
    SetBarRange(g_dialog, kCopyFileBar, g_shown.file_range);
  }
  MoveBar(kCopyFileBar, g_wanted.file_position, g_shown.file_range, g_file_width, &g_shown.file_position, new_range);
  MoveBar(kCopyOverallBar, g_wanted.overall_position, OverallRange(g_archive_length), g_overall_width,
          &g_shown.overall_position, false);
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

HWND OpenCopyDialog(std::int64_t archive_length) {
  g_archive_length = archive_length;
  CloseCopyDialog();
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  g_dialog = CreateDialogParamW(MainWindowInstance(), L"COPYINGDELUX", MainWindowHandle(), CopyDialogProc, 0);
  if (!g_dialog) return nullptr;
  g_wanted = g_shown = Shown();
  g_refreshed = false;
  g_file_width = ClientWidth(kCopyFileBar);
  g_overall_width = ClientWidth(kCopyOverallBar);
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
  g_wanted.name = path;
  // No lower bound of one here, unlike the overall bar: a file under a block gets 0 .. 0.
  g_wanted.file_range = file_range;
  g_wanted.file_position = 0;
  Refresh();
}

void ShowCopyProgress(int file_position, int overall_position) {
  if (!g_dialog) return;
  g_wanted.file_position = file_position;
  g_wanted.overall_position = overall_position;
  Refresh();
}
