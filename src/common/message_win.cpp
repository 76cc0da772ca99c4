#include "common/message_win.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/cp932.h"

namespace {

HWND g_main_window = nullptr;
char g_caption[kCaptionBuffer] = "";

constexpr UINT kErrorStyle = MB_OK | MB_ICONERROR;
constexpr UINT kRetryStyle = MB_RETRYCANCEL | MB_ICONERROR;
constexpr UINT kYesNoStyle = MB_YESNO | MB_ICONQUESTION;
constexpr UINT kRetrySkipStyle = MB_RETRYCANCEL | MB_ICONWARNING;
constexpr UINT kInfoStyle = MB_OK | MB_ICONINFORMATION;

void Format(char (&buffer)[kMessageBuffer], const char* format, va_list args) {
  std::vsnprintf(buffer, sizeof buffer, format, args);
}

int ShowBox(const char* text, UINT style, bool copy) {
  SetForegroundWindow(g_main_window);
  if (copy) CopyTextToClipboard(text);
  return MessageBoxA(g_main_window, text, MainWindowCaption(), style);
}

}  // namespace

void SetMainWindowHandle(HWND window) { g_main_window = window; }

HWND MainWindowHandle() { return g_main_window; }

HINSTANCE MainWindowInstance() {
  return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(g_main_window, GWLP_HINSTANCE));
}

const char* MainWindowCaption() {
  g_caption[0] = '\0';
  if (g_main_window) GetWindowTextA(g_main_window, g_caption, sizeof g_caption);
  return g_caption;
}

void ErrorBox(const char* format, ...) {
  char text[kMessageBuffer];
  va_list args;
  va_start(args, format);
  Format(text, format, args);
  va_end(args);
  ShowBox(text, kErrorStyle, true);
}

void RetryAbortBox(const char* format, ...) {
  char text[kMessageBuffer];
  va_list args;
  va_start(args, format);
  Format(text, format, args);
  va_end(args);
  // The work folder is deliberately left: the exit hooks run, nothing else.
  if (ShowBox(text, kRetryStyle, true) == IDCANCEL) std::exit(-1);
}

int YesNoBox(const char* format, ...) {
  char text[kMessageBuffer];
  va_list args;
  va_start(args, format);
  Format(text, format, args);
  va_end(args);
  return ShowBox(text, kYesNoStyle, false) == IDYES ? 1 : 0;
}

int RetrySkipBox(const char* format, ...) {
  char text[kMessageBuffer];
  va_list args;
  va_start(args, format);
  Format(text, format, args);
  va_end(args);
  return ShowBox(text, kRetrySkipStyle, true) == IDRETRY ? 1 : 0;
}

void InfoBox(const char* format, ...) {
  char text[kMessageBuffer];
  va_list args;
  va_start(args, format);
  Format(text, format, args);
  va_end(args);
  ShowBox(text, kInfoStyle, false);
}

int CopyTextToClipboard(const char* text) {
  const std::size_t size = std::strlen(text) + 1;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (!block) return -1;
  if (void* memory = GlobalLock(block)) {
    std::memcpy(memory, text, size);
    GlobalUnlock(block);
  }
  bool handed_over = false;
  if (OpenClipboard(GetActiveWindow())) {
    EmptyClipboard();
    handed_over = SetClipboardData(CF_TEXT, block) != nullptr;
    CloseClipboard();
  }
  // Once set, the block belongs to the clipboard; otherwise it is still ours to free.
  if (!handed_over) GlobalFree(block);
  return 0;
}

int PumpMessages() {
  int dispatched = 0;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) std::exit(static_cast<int>(msg.wParam));
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    ++dispatched;
  }
  return dispatched;
}

void CenterWindow(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC dc = GetDC(window);
  const int screen_width = GetDeviceCaps(dc, HORZRES);
  const int screen_height = GetDeviceCaps(dc, VERTRES);
  ReleaseDC(window, dc);
  SetWindowPos(window, nullptr, (screen_width - width) / 2, (screen_height - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
}

void* Allocate(std::size_t size) {
  void* block = size > static_cast<std::size_t>(-1) - 32 ? nullptr : std::malloc(size + 32);
  if (!block) {
    MessageBoxA(nullptr, "メモリ容量が不足しています。処理を中断します。", "malloc", MB_ICONERROR);
  }
  return block;
}

void ShellOpen(const char* file) {
  SHELLEXECUTEINFOA info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.hwnd = g_main_window;
  info.lpVerb = "open";
  info.lpFile = file;
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExA(&info);
}

int LaunchHidden(const char* command_line, DWORD priority_class) {
  std::string command(command_line);  // CreateProcessA may write into its command line
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  const BOOL created = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, priority_class, nullptr,
                                      nullptr, &startup, &process);
  if (created) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return created;
}

int LaunchProcess(const char* path) {
  char command[kPathBuffer];
  // A cut command line would start some other program: refuse instead.
  const int n = std::snprintf(command, sizeof command, "\"%s\"", path);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof command) return 0;
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.wShowWindow = SW_SHOWDEFAULT;
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  const BOOL created = CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                      &startup, &process);
  if (created) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return created;
}
