#include "common/message_win.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/cp932.h"
#include "common/wide_win.h"

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
  return MessageBoxCp932(g_main_window, text, MainWindowCaption(), style);
}

}  // namespace

void SetMainWindowHandle(HWND window) { g_main_window = window; }

HWND MainWindowHandle() { return g_main_window; }

HINSTANCE MainWindowInstance() {
  return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(g_main_window, GWLP_HINSTANCE));
}

const char* MainWindowCaption() {
  g_caption[0] = '\0';
  std::string caption;
  if (g_main_window && GetWindowTextCp932(g_main_window, &caption)) {
    CopyTruncated(g_caption, sizeof g_caption, caption);
  }
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
  // Unicode text: the system derives the other formats, so a player on any system language
  // pastes the Japanese message as it reads.
  std::wstring wide;
  if (!WidenCp932(text, &wide)) return -1;
  const std::size_t size = (wide.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (!block) return -1;
  if (void* memory = GlobalLock(block)) {
    std::memcpy(memory, wide.c_str(), size);
    GlobalUnlock(block);
  }
  bool handed_over = false;
  if (OpenClipboard(GetActiveWindow())) {
    EmptyClipboard();
    handed_over = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
  }
  // Once set, the block belongs to the clipboard; otherwise it is still ours to free.
  if (!handed_over) GlobalFree(block);
  return 0;
}

int PumpMessages() {
  int dispatched = 0;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) std::exit(static_cast<int>(msg.wParam));
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
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

void UseJapaneseDialogFont(HWND dialog) {
  const HFONT given = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  if (!given) return;
  HDC dc = GetDC(dialog);
  const HGDIOBJ old = SelectObject(dc, given);
  const int charset = GetTextCharset(dc);
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  if (charset == SHIFTJIS_CHARSET) return;
  // One font for every dialog of the process, kept until it ends.
  static HFONT japanese = nullptr;
  if (!japanese) {
    LOGFONTW face{};
    if (!GetObjectW(given, sizeof face, &face)) return;
    face.lfCharSet = SHIFTJIS_CHARSET;
    japanese = CreateFontIndirectW(&face);
    if (!japanese) return;
  }
  SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(japanese), FALSE);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(japanese), TRUE);
  }
}

void* AllocateQuietly(std::size_t size) {
  return size > static_cast<std::size_t>(-1) - 32 ? nullptr : std::malloc(size + 32);
}

void OutOfMemoryBox() {
  MessageBoxCp932(nullptr, "メモリ容量が不足しています。処理を中断します。", "malloc", MB_ICONERROR);
}

void* Allocate(std::size_t size) {
  void* block = AllocateQuietly(size);
  if (!block) OutOfMemoryBox();
  return block;
}

void ShellOpen(const char* file) {
  std::wstring wide;
  if (!WidenCp932(file, &wide)) return;
  SHELLEXECUTEINFOW info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.hwnd = g_main_window;
  info.lpVerb = L"open";
  info.lpFile = wide.c_str();
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&info);
}

int LaunchProcess(const char* path) {
  // A path that would be cut starts some other program: refuse instead.
  if (std::strlen(path) + 2 >= kPathBuffer) return 0;
  std::wstring wide;
  return WidenCp932(path, &wide) ? LaunchProcessW(wide) : 0;
}

int LaunchProcessW(const std::wstring& path) {
  if (path.empty() || path.size() + 2 >= MAX_PATH) return 0;
  STARTUPINFOW startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.wShowWindow = SW_SHOWDEFAULT;
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  // CreateProcessW may write into its command line.
  const std::wstring quoted = L"\"" + path + L"\"";
  std::vector<wchar_t> command(quoted.begin(), quoted.end());
  command.push_back(L'\0');
  const BOOL created =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  if (created) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return created;
}
