#include "driver/main_window_win.h"

#include <cstdint>
#include <string>

#include "common/callback_guard_win.h"
#include "common/cp932.h"
#include "common/message_win.h"
#include "common/resource_ids.h"
#include "common/setup_names.h"
#include "driver/install_sequence_win.h"
#include "driver/work_folder_win.h"
#include "image/title_image_win.h"
#include "settings/setting_list.h"
#include "common/wide_win.h"

namespace {

constexpr int kSlotCount = 9;
constexpr int kSlotIds[kSlotCount] = {IDC_SLOT1, IDC_SLOT2, IDC_SLOT3, IDC_SLOT4, IDC_SLOT5,
                                       IDC_SLOT6, IDC_SLOT7, IDC_SLOT8, IDC_SLOT9};

enum Action : int { kNone = 0, kInstall = 1, kDirectX = 2, kExit = 3, kReadme = 5 };

int g_actions[kSlotCount] = {};
int g_busy = 0;
// The readme button's label, then the file it opens: both keys' rows give this buffer.
static_assert(kInstReadmeKey.buffer == kInstReadmeFlKey.buffer, "one buffer holds both readme keys");
char g_readme[kInstReadmeKey.buffer] = "";
Surface* g_title = nullptr;
int g_title_x = 0;
int g_title_y = 0;

// DirectX is looked for where the program was started (a CD keeps it beside the setup
// program), not in the work folder, which never holds folders. That folder is used as the
// system gives it: it may have no CP932 form.
std::wstring DirectXPath(const wchar_t* leaf) {
  std::wstring path = StartupDirectoryW();
  if (path.empty()) return path;  // never the drive's root instead
  if (path.back() != L'\\') path += L'\\';
  return path + leaf;
}

bool HasDirectXFolder() {
  const std::wstring path = DirectXPath(L"DirectX");
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ClosePath(HWND window) {
  ReleaseSurface(g_title, 0);
  g_title = nullptr;  // a repaint before the window is gone draws nothing
  RemoveWorkFolder();
  EndDialog(window, 0);
}

// Centred on the square of the client height at the left edge, beside the button column.
void LoadTitle(HWND window) {
  g_title = LoadTitleImage(kTitlePictureName);
  RECT client;
  GetClientRect(window, &client);
  const int side = client.bottom - client.top;
  if (g_title) {
    g_title_x = (side - g_title->width) / 2;
    g_title_y = (side - g_title->height) / 2;
  }
}

void PaintTitle(HDC dc) {
  if (!g_title) return;
  StretchDIBits(dc, g_title_x, g_title_y, g_title->width, g_title->height, 0, 0, g_title->width,
                g_title->height, g_title->pixels, g_title->info, DIB_RGB_COLORS, SRCCOPY);
}

void Initialise(HWND window) {
  SetMainWindowHandle(window);
  CenterWindow(window);
  g_busy = 0;
  SetWindowTextCp932(window, SettingStartupTitle());

  int slot = 0;
  SetDlgItemTextCp932(window, kSlotIds[slot], "終了");
  g_actions[slot++] = kExit;
  if (HasDirectXFolder()) {
    SetDlgItemTextCp932(window, kSlotIds[slot], "DirectXインストール");
    g_actions[slot++] = kDirectX;
  }
  GetSettingText(kInstReadmeKey, g_readme, sizeof g_readme);
  if (g_readme[0] != '-') {
    SetDlgItemTextCp932(window, kSlotIds[slot], g_readme);
    g_actions[slot++] = kReadme;
  }
  SetDlgItemTextCp932(window, kSlotIds[slot], "インストール");
  g_actions[slot++] = kInstall;
  for (; slot < kSlotCount; ++slot) {
    DestroyWindow(GetDlgItem(window, kSlotIds[slot]));
    g_actions[slot] = kNone;
  }
  LoadTitle(window);
}

void Command(HWND window, WPARAM wparam) {
  if (g_busy) return;  // dropped, not queued
  g_busy = 1;
  int slot = 0;
  while (slot < kSlotCount && static_cast<WPARAM>(kSlotIds[slot]) != wparam) ++slot;
  if (slot < kSlotCount) {
    switch (g_actions[slot]) {
      case kInstall:
        if (Install() == 0) ClosePath(window);
        break;
      case kDirectX:
        LaunchProcessW(DirectXPath(L"DirectX\\dxsetup.exe"));
        break;
      case kExit:
        ClosePath(window);
        break;
      case kReadme:
        GetSettingText(kInstReadmeFlKey, g_readme, sizeof g_readme);
        ShellOpen(g_readme);
        break;
      default:
        break;
    }
  }
  g_busy = 0;
}

}  // namespace

static INT_PTR MainWindowProcBody(HWND window, UINT message, WPARAM wparam) {
  switch (message) {
    case WM_INITDIALOG:
      UseJapaneseDialogFont(window);
      Initialise(window);
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      PaintTitle(paint.hdc);
      EndPaint(window, &paint);
      break;
    }
    case WM_CLOSE:
      if (!g_busy) ClosePath(window);
      break;
    case WM_COMMAND:
      Command(window, wparam);
      break;
    default:
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM) {
  return GuardCallback([&] { return MainWindowProcBody(window, message, wparam); });
}
