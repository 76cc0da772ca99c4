// The pack tool on Windows: every path goes to the system in UTF-16, so names outside the
// ANSI code page work; names convert with the system's code page 932 table (common/wide_win.h).
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <memory>

#include "archive/sha256_win.h"
#include "common/cp932.h"
#include "common/wide_win.h"
#include "platform.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

// False when the text is not valid in the code page.
bool Widen(UINT code_page, const char* text, int size, std::wstring* out) {
  out->clear();
  if (size == 0) return true;
  const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, size, nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, size, &(*out)[0], n) == n;
}

std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  if (!Widen(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()), &wide)) {
    // Not UTF-8: a name that no file has, so opening it fails instead of hitting another file.
    wide = L"<invalid UTF-8>";
  }
  return wide;
}

std::string Utf8(const wchar_t* text, int size) {
  if (size == 0) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, size, &out[0], n, nullptr, nullptr);
  return out;
}

HANDLE Stdout() { return GetStdHandle(STD_OUTPUT_HANDLE); }

UINT saved_output_code_page = 0;

void RestoreConsole() { SetConsoleOutputCP(saved_output_code_page); }

struct LocalFreer {
  void operator()(LPWSTR* p) const { LocalFree(p); }
};

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  std::unique_ptr<LPWSTR, LocalFreer> wide(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(Utf8(wide.get()[i], static_cast<int>(wcslen(wide.get()[i]))));
  return args;
}

// Names are printed in UTF-8; a console shows them only in its UTF-8 code page. The
// console's own setting is put back when the tool ends.
void PrepareConsole() {
  DWORD mode = 0;
  if (!GetConsoleMode(Stdout(), &mode)) return;
  saved_output_code_page = GetConsoleOutputCP();
  if (SetConsoleOutputCP(CP_UTF8)) std::atexit(&RestoreConsole);
  SetConsoleMode(Stdout(), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

// The progress line moves the cursor with escape sequences, which older consoles print.
bool StdoutIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(Stdout(), &mode) && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

std::filesystem::path PathFromUtf8(const std::string& path) { return std::filesystem::path(Wide(path)); }

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  return Utf8(wide.data(), static_cast<int>(wide.size()));
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

// tmpfile() of the C runtime creates its file in the root of the current drive, which an
// ordinary user may not write to.
std::FILE* OpenTemporaryFile() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"pvp", 0, name) == 0) return nullptr;
  // "D": deleted when closed.
  std::FILE* file = _wfopen(name, L"w+bD");
  if (!file) DeleteFileW(name);
  return file;
}

bool SeekFile(std::FILE* file, std::int64_t offset, int whence) { return _fseeki64(file, offset, whence) == 0; }

std::int64_t TellFile(std::FILE* file) { return _ftelli64(file); }

// std::filesystem's times are whole seconds with MinGW's runtime; the system has 100 ns.
bool GetFileWriteTime(const std::string& path, std::uint64_t* filetime) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return false;
  *filetime = static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
  return true;
}

bool SetFileWriteTime(const std::string& path, std::uint64_t filetime) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(filetime);
  time.dwHighDateTime = static_cast<DWORD>(filetime >> 32);
  const bool ok = SetFileTime(file, nullptr, nullptr, &time) != 0;
  CloseHandle(file);
  return ok;
}

bool ConvertUtf8ToCp932(const std::string& utf8, std::string* cp932) {
  std::wstring wide;
  if (!Widen(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()), &wide)) return false;
  return NarrowCp932(wide, cp932);
}

std::size_t ConvertCp932ToUtf8(const std::string& cp932, std::string* utf8) {
  std::wstring wide;
  if (WidenCp932(cp932, &wide)) {
    *utf8 = Utf8(wide.data(), static_cast<int>(wide.size()));
    return std::string::npos;
  }
  // Character by character up to the first one that does not convert.
  utf8->clear();
  for (std::size_t at = 0; at < cp932.size();) {
    const std::size_t length = CharLengthAt(cp932, at);
    if (!WidenCp932(std::string_view(cp932).substr(at, length), &wide)) return at;
    *utf8 += Utf8(wide.data(), static_cast<int>(wide.size()));
    at += length;
  }
  return std::string::npos;
}

std::unique_ptr<Sha256> NewSha256() { return NewSystemSha256(); }
