// CP932 inside, UTF-16 at the system boundary. The program's text is CP932 bytes whatever
// the system's code page; the ...A calls would read it in that code page, so text goes to
// Windows through the ...W calls, converted here with code page 932 explicitly.
//
// A conversion that fails is reported, never patched up: bytes that are not CP932, or
// system text with a character that has no CP932 form, make the call fail with
// ERROR_NO_UNICODE_TRANSLATION (the wrappers return what the ...A call returns on failure).
// The wrappers take the ...A call's parameters, so a caller changes only the name.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>
#include <string_view>

constexpr UINT kCodePage932 = 932;

// False (and `out` empty) when `text` is not valid CP932.
bool WidenCp932(std::string_view text, std::wstring* out);
// False (and `out` empty) when a character has no CP932 form: no look-alike ("e" for "é",
// '\\' for the yen sign) and no '?' is ever written in its place.
bool NarrowCp932(std::wstring_view wide, std::string* out);
// For messages only: `wide` in CP932 with '?' for each character that has no form there,
// so that a path the program cannot use can still be named to the user.
std::string ShownCp932(std::wstring_view wide);
// The console's (OEM) code page, for text that cmd.exe reads, a batch file: false when a
// character has no form there. On a Japanese system the same bytes as NarrowCp932.
bool NarrowConsoleCodePage(std::wstring_view wide, std::string* out);
// Appends the CP932 text to a UTF-16 path: a system path without a CP932 form (a user
// name with "é") stays exact, only our own part is converted. False when it is not CP932.
bool AppendCp932(std::wstring* path, std::string_view text);

// Windows and dialogs.
int MessageBoxCp932(HWND owner, const char* text, const char* caption, UINT type);
BOOL SetWindowTextCp932(HWND window, const char* text);
BOOL SetDlgItemTextCp932(HWND dialog, int id, const char* text);
// False when the text cannot be read or has no CP932 form.
bool GetWindowTextCp932(HWND window, std::string* text);
bool GetDlgItemTextCp932(HWND dialog, int id, std::string* text);

// Files and folders.
// Owns a file or process handle; closes it once.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (ok()) CloseHandle(handle_);
  }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

HANDLE CreateFileCp932(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                       DWORD disposition, DWORD flags, HANDLE template_file);
BOOL DeleteFileCp932(const char* path);
BOOL CreateDirectoryCp932(const char* path, SECURITY_ATTRIBUTES* security);
BOOL RemoveDirectoryCp932(const char* path);
BOOL SetCurrentDirectoryCp932(const char* path);
DWORD GetFileAttributesCp932(const char* path);

// Paths from the system, in UTF-16 (empty on failure): they may have no CP932 form.
std::wstring ModuleFileNameW(HMODULE module);
// With its trailing backslash, as GetTempPath gives it.
std::wstring TempFolderW();
std::wstring WindowsFolderW();
std::wstring CurrentFolderW();
std::wstring SystemFolderW();
// The value of an environment variable; empty when it is not set.
std::wstring EnvironmentValueW(const wchar_t* name);
// The long form of an existing path; the path itself when the system cannot give one.
std::wstring LongPathW(const std::wstring& path);
// The folder part of a path, without its last separator; empty when there is none. Split in
// UTF-16: a system path is not CP932, so "C:\G\Café\x" gives "C:\G\Café".
std::wstring ParentFolderW(const std::wstring& path);
// A special folder (a CSIDL value) as the shell gives it; empty when it has none.
std::wstring SpecialFolderW(HWND owner, int csidl);

// The whole of a file of at most `limit` bytes, read through one handle; false when it cannot
// be read or is larger.
bool ReadFileBytesW(const std::wstring& path, std::uint64_t limit, std::string* bytes);

// Registry: the Reg...ExA calls' results. Value names may be null (the default value).
LONG RegCreateKeyCp932(HKEY root, const char* name, REGSAM access, HKEY* key);
LONG RegOpenKeyCp932(HKEY root, const char* name, REGSAM access, HKEY* key);
// REG_SZ, the terminator counted in the stored size.
LONG RegSetStringCp932(HKEY key, const char* value_name, std::string_view text);
// The value's type and, for REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ, its data as CP932 bytes
// exactly as the ...A call would give them on a Japanese system (terminators as stored);
// other types give their raw bytes. `type` may be null.
LONG RegQueryValueCp932(HKEY key, const char* value_name, DWORD* type, std::string* data);
LONG RegDeleteValueCp932(HKEY key, const char* value_name);
LONG RegDeleteKeyCp932(HKEY root, const char* name);

// Shell links, through the wide interface.
HRESULT SetLinkPathCp932(IShellLinkW* link, const char* path);
HRESULT SetLinkArgumentsCp932(IShellLinkW* link, const char* arguments);
HRESULT SetLinkWorkingFolderCp932(IShellLinkW* link, const char* folder);
HRESULT SetLinkDescriptionCp932(IShellLinkW* link, const char* description);

