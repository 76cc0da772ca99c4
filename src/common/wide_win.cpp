#include "common/wide_win.h"

#include <climits>
#include <vector>

namespace {

// Null stays null (an optional name); false when the text is not CP932.
bool WidenOptional(const char* text, std::wstring* out, const wchar_t** result) {
  if (!text) {
    *result = nullptr;
    return true;
  }
  if (!WidenCp932(text, out)) return false;
  *result = out->c_str();
  return true;
}

bool Untranslatable() {
  SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return false;
}

// A character with no form in the code page fails the conversion, or with `question_marks`
// becomes '?'.
bool NarrowTo(UINT code_page, std::wstring_view wide, std::string* out, bool question_marks = false) {
  out->clear();
  if (wide.empty()) return true;
  if (wide.size() > INT_MAX) return false;
  const int size = static_cast<int>(wide.size());
  const char* default_char = question_marks ? "?" : nullptr;
  BOOL used_default = FALSE;
  BOOL* report_default = question_marks ? nullptr : &used_default;
  const int n = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, default_char,
                                    report_default);
  if (n <= 0 || used_default) return false;
  out->resize(static_cast<std::size_t>(n));
  if (WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), size, &(*out)[0], n, default_char,
                          report_default) == n &&
      !used_default) {
    return true;
  }
  out->clear();
  return false;
}

// Asks `get(buffer, capacity)` for the text, growing the buffer while it comes back cut:
// `get` returns the length it wrote, or capacity and more when the buffer was too small.
template <class Get>
std::wstring GrowingRead(Get get) {
  for (DWORD capacity = MAX_PATH + 1; capacity <= 32768 * 2; capacity *= 2) {
    std::vector<wchar_t> buffer(capacity);
    const DWORD n = get(buffer.data(), capacity);
    if (n == 0) return std::wstring();
    if (n < capacity) return std::wstring(buffer.data(), n);
  }
  return std::wstring();
}

template <class Set>
HRESULT SetLinkText(const char* text, Set set) {
  std::wstring wide;
  if (!WidenCp932(text, &wide)) return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
  return set(wide.c_str());
}

}  // namespace

bool WidenCp932(std::string_view text, std::wstring* out) {
  out->clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  if (MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, text.data(), size, &(*out)[0], n) == n) {
    return true;
  }
  out->clear();
  return false;
}

bool NarrowCp932(std::wstring_view wide, std::string* out) { return NarrowTo(kCodePage932, wide, out); }

std::string ShownCp932(std::wstring_view wide) {
  std::string out;
  NarrowTo(kCodePage932, wide, &out, true);
  return out;
}

// Batch files: cmd.exe reads them in this code page, whatever the ANSI one is.
bool NarrowConsoleCodePage(std::wstring_view wide, std::string* out) { return NarrowTo(GetOEMCP(), wide, out); }

bool AppendCp932(std::wstring* path, std::string_view text) {
  std::wstring wide;
  if (!WidenCp932(text, &wide)) return false;
  *path += wide;
  return true;
}

int MessageBoxCp932(HWND owner, const char* text, const char* caption, UINT type) {
  std::wstring wide_text, wide_caption;
  const wchar_t* caption_w = nullptr;
  if (!WidenCp932(text, &wide_text) || !WidenOptional(caption, &wide_caption, &caption_w)) {
    return Untranslatable();
  }
  return MessageBoxW(owner, wide_text.c_str(), caption_w, type);
}

BOOL SetWindowTextCp932(HWND window, const char* text) {
  std::wstring wide;
  return WidenCp932(text, &wide) ? SetWindowTextW(window, wide.c_str()) : Untranslatable();
}

BOOL SetDlgItemTextCp932(HWND dialog, int id, const char* text) {
  std::wstring wide;
  return WidenCp932(text, &wide) ? SetDlgItemTextW(dialog, id, wide.c_str()) : Untranslatable();
}

bool GetWindowTextCp932(HWND window, std::string* text) {
  text->clear();
  SetLastError(ERROR_SUCCESS);
  const int length = GetWindowTextLengthW(window);
  if (length == 0) return GetLastError() == ERROR_SUCCESS;
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
  const int n = GetWindowTextW(window, buffer.data(), length + 1);
  return NarrowCp932(std::wstring_view(buffer.data(), static_cast<std::size_t>(n > 0 ? n : 0)), text) ||
         Untranslatable();
}

bool GetDlgItemTextCp932(HWND dialog, int id, std::string* text) {
  const HWND item = GetDlgItem(dialog, id);
  if (!item) {
    text->clear();
    return false;
  }
  return GetWindowTextCp932(item, text);
}

HANDLE CreateFileCp932(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                       DWORD disposition, DWORD flags, HANDLE template_file) {
  std::wstring wide;
  if (!WidenCp932(path, &wide)) {
    Untranslatable();
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(wide.c_str(), access, share, security, disposition, flags, template_file);
}

BOOL DeleteFileCp932(const char* path) {
  std::wstring wide;
  return WidenCp932(path, &wide) ? DeleteFileW(wide.c_str()) : Untranslatable();
}

BOOL CreateDirectoryCp932(const char* path, SECURITY_ATTRIBUTES* security) {
  std::wstring wide;
  return WidenCp932(path, &wide) ? CreateDirectoryW(wide.c_str(), security) : Untranslatable();
}

BOOL RemoveDirectoryCp932(const char* path) {
  std::wstring wide;
  return WidenCp932(path, &wide) ? RemoveDirectoryW(wide.c_str()) : Untranslatable();
}

BOOL SetCurrentDirectoryCp932(const char* path) {
  std::wstring wide;
  return WidenCp932(path, &wide) ? SetCurrentDirectoryW(wide.c_str()) : Untranslatable();
}

DWORD GetFileAttributesCp932(const char* path) {
  std::wstring wide;
  if (!WidenCp932(path, &wide)) {
    Untranslatable();
    return INVALID_FILE_ATTRIBUTES;
  }
  return GetFileAttributesW(wide.c_str());
}

std::wstring ModuleFileNameW(HMODULE module) {
  // A cut name comes back filling the buffer exactly.
  return GrowingRead([module](wchar_t* buffer, DWORD capacity) {
    const DWORD n = GetModuleFileNameW(module, buffer, capacity);
    return n >= capacity - 1 ? capacity : n;
  });
}

bool ReadFileBytesW(const std::wstring& path, std::uint64_t limit, std::string* bytes) {
  bytes->clear();
  const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!file.ok() || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<std::uint64_t>(size.QuadPart) > limit || static_cast<std::uint64_t>(size.QuadPart) > 0x7FFFFFFFu) {
    return false;
  }
  bytes->resize(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes->empty() && (!ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) ||
                          read != bytes->size())) {
    bytes->clear();
    return false;
  }
  return true;
}

std::wstring TempFolderW() {
  return GrowingRead([](wchar_t* buffer, DWORD capacity) { return GetTempPathW(capacity, buffer); });
}

std::wstring WindowsFolderW() {
  return GrowingRead([](wchar_t* buffer, DWORD capacity) {
    return static_cast<DWORD>(GetWindowsDirectoryW(buffer, capacity));
  });
}

std::wstring CurrentFolderW() {
  return GrowingRead([](wchar_t* buffer, DWORD capacity) { return GetCurrentDirectoryW(capacity, buffer); });
}

std::wstring SystemFolderW() {
  return GrowingRead([](wchar_t* buffer, DWORD capacity) {
    return static_cast<DWORD>(GetSystemDirectoryW(buffer, capacity));
  });
}

std::wstring EnvironmentValueW(const wchar_t* name) {
  return GrowingRead([name](wchar_t* buffer, DWORD capacity) { return GetEnvironmentVariableW(name, buffer, capacity); });
}

std::wstring LongPathW(const std::wstring& path) {
  const std::wstring result = GrowingRead([&path](wchar_t* buffer, DWORD capacity) {
    return GetLongPathNameW(path.c_str(), buffer, capacity);
  });
  return result.empty() ? path : result;
}

std::wstring ParentFolderW(const std::wstring& path) {
  const std::size_t last = path.find_last_of(L'\\');
  return last == std::wstring::npos ? std::wstring() : path.substr(0, last);
}

std::wstring SpecialFolderW(HWND owner, int csidl) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, csidl, &items))) return std::wstring();
  // The shell's limit for this call is MAX_PATH characters.
  wchar_t path[MAX_PATH] = L"";
  const BOOL found = SHGetPathFromIDListW(items, path);
  CoTaskMemFree(items);
  return found ? std::wstring(path) : std::wstring();
}

LONG RegCreateKeyCp932(HKEY root, const char* name, REGSAM access, HKEY* key) {
  *key = nullptr;
  std::wstring wide;
  if (!WidenCp932(name, &wide)) return ERROR_NO_UNICODE_TRANSLATION;
  wchar_t no_class[] = L"";
  return RegCreateKeyExW(root, wide.c_str(), 0, no_class, 0, access, nullptr, key, nullptr);
}

LONG RegOpenKeyCp932(HKEY root, const char* name, REGSAM access, HKEY* key) {
  *key = nullptr;
  std::wstring wide;
  if (!WidenCp932(name, &wide)) return ERROR_NO_UNICODE_TRANSLATION;
  return RegOpenKeyExW(root, wide.c_str(), 0, access, key);
}

LONG RegSetStringCp932(HKEY key, const char* value_name, std::string_view text) {
  std::wstring name, data;
  const wchar_t* name_w = nullptr;
  if (!WidenOptional(value_name, &name, &name_w) || !WidenCp932(text, &data)) {
    return ERROR_NO_UNICODE_TRANSLATION;
  }
  const DWORD size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, name_w, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), size);
}

LONG RegQueryValueCp932(HKEY key, const char* value_name, DWORD* type, std::string* data) {
  data->clear();
  DWORD no_type = 0;
  if (!type) type = &no_type;
  std::wstring name;
  const wchar_t* name_w = nullptr;
  if (!WidenOptional(value_name, &name, &name_w)) return ERROR_NO_UNICODE_TRANSLATION;
  std::vector<BYTE> raw;
  DWORD size = 0;
  LONG status = RegQueryValueExW(key, name_w, nullptr, type, nullptr, &size);
  // The value may grow between the two calls: ask again with the new size.
  for (int attempt = 0; status == ERROR_SUCCESS && attempt < 4; ++attempt) {
    raw.resize(size + sizeof(wchar_t));
    size = static_cast<DWORD>(raw.size());
    status = RegQueryValueExW(key, name_w, nullptr, type, raw.data(), &size);
    if (status == ERROR_MORE_DATA) {
      status = ERROR_SUCCESS;
      continue;
    }
    if (status != ERROR_SUCCESS) return status;
    raw.resize(size);
    if (*type == REG_SZ || *type == REG_EXPAND_SZ || *type == REG_MULTI_SZ) {
      const std::wstring_view wide(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
      return NarrowCp932(wide, data) ? ERROR_SUCCESS : ERROR_NO_UNICODE_TRANSLATION;
    }
    data->assign(raw.begin(), raw.end());
    return ERROR_SUCCESS;
  }
  return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
}

LONG RegDeleteValueCp932(HKEY key, const char* value_name) {
  std::wstring name;
  const wchar_t* name_w = nullptr;
  if (!WidenOptional(value_name, &name, &name_w)) return ERROR_NO_UNICODE_TRANSLATION;
  return RegDeleteValueW(key, name_w);
}

LONG RegDeleteKeyCp932(HKEY root, const char* name) {
  std::wstring wide;
  if (!WidenCp932(name, &wide)) return ERROR_NO_UNICODE_TRANSLATION;
  return RegDeleteKeyW(root, wide.c_str());
}

HRESULT SetLinkPathCp932(IShellLinkW* link, const char* path) {
  return SetLinkText(path, [link](const wchar_t* text) { return link->SetPath(text); });
}

HRESULT SetLinkArgumentsCp932(IShellLinkW* link, const char* arguments) {
  return SetLinkText(arguments, [link](const wchar_t* text) { return link->SetArguments(text); });
}

HRESULT SetLinkWorkingFolderCp932(IShellLinkW* link, const char* folder) {
  return SetLinkText(folder, [link](const wchar_t* text) { return link->SetWorkingDirectory(text); });
}

HRESULT SetLinkDescriptionCp932(IShellLinkW* link, const char* description) {
  return SetLinkText(description, [link](const wchar_t* text) { return link->SetDescription(text); });
}

