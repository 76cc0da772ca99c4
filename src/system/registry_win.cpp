#include "system/registry_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/cp932.h"
#include "common/wide_win.h"
#include "settings/section_lists.h"
#include "settings/setting_list.h"
#include "system/handle_path_win.h"
#include "system/ini_editor.h"
#include "system/reg_key_win.h"

namespace {

// "Software\%s\%s"; false when it would not fit (the settings never make it that long).
bool FormatKeyName(char (&name)[kRegKeyBuffer], const char* global, const char* local) {
  const int n = std::snprintf(name, sizeof name, "Software\\%s\\%s", global, local);
  return n >= 0 && static_cast<std::size_t>(n) < sizeof name;
}

// Reads a REG_SZ value of the per-user key into `data`; false for anything else.
bool QueryUserString(const char* global, const char* local, const char* value_name,
                     char (&data)[kRegReadBuffer]) {
  char name[kRegKeyBuffer];
  if (!FormatKeyName(name, global, local)) return false;
  RegKey key;
  if (!key.Open(HKEY_CURRENT_USER, name)) return false;
  DWORD type = 0;
  std::string stored;
  // As the ...A call read it into the buffer: no more bytes than it holds, and the text
  // ends at the first terminator or where the buffer does.
  if (!key.Query(value_name, &type, &stored) || type != REG_SZ || stored.size() > sizeof data) return false;
  CopyTruncated(data, sizeof data, std::string_view(stored.c_str()));
  return true;
}

}  // namespace

int ReadUserRegString(const char* global, const char* local, const char* value_name,
                      const char* def, char* result, std::size_t size) {
  if (size == 0) return -1;
  // The default may be the result buffer itself.
  std::memmove(result, def, std::min(std::strlen(def) + 1, size));
  result[size - 1] = '\0';
  char data[kRegReadBuffer];
  if (!QueryUserString(global, local, value_name, data)) return -1;
  CopyTruncated(result, size, data);
  return 0;
}

int ReadUserRegInt(const char* global, const char* local, const char* value_name, int def) {
  char text[kRegReadBuffer];
  std::snprintf(text, sizeof text, "%d", def);
  char data[kRegReadBuffer];
  if (QueryUserString(global, local, value_name, data)) CopyTruncated(text, sizeof text, data);
  return std::atoi(text);
}

int WriteUserRegString(const char* global, const char* local, const char* value_name,
                       const char* text) {
  char name[kRegKeyBuffer];
  if (!FormatKeyName(name, global, local)) return -1;
  RegKey key;
  if (!key.Create(HKEY_CURRENT_USER, name)) return -1;
  return key.SetString(value_name, text) ? 0 : -1;
}

int TestMachineKey(const char* global, const char* local) {
  char name[kRegKeyBuffer];
  if (!FormatKeyName(name, global, local)) return -1;
  RegKey key;
  return key.Create(HKEY_LOCAL_MACHINE, name) ? 0 : -1;
}

namespace {

// Each [ini] line that splits, in file order, with INI_FILE non-empty (the default "-"
// passes and names a file in the Windows folder).
template <class Act>
void ForEachIniEntry(char* key, char* value, Act act) {
  const char* file = SettingIniFile();
  if (file[0] == '\0') return;
  for (const SectionLine* line = SectionListHead(kSectionIni); line; line = line->next) {
    if (SplitIniLine(line->text, key, value) != 0) continue;
    act(SettingIniSection(), key, value, file);
  }
}

// Each [reg] line that splits, unless REG_GLOBAL starts with "-".
template <class Act>
void ForEachRegValue(char* name, char* value, Act act) {
  if (SettingRegGlobal()[0] == '-') return;
  for (const SectionLine* line = SectionListHead(kSectionReg); line; line = line->next) {
    if (SplitRegLine(line->text, name, value) != 0) continue;
    act(name, value);
  }
}

// An INI file larger than this is not one of ours to edit.
constexpr std::int64_t kIniFileLimit = 16 * 1024 * 1024;

// Where the system keeps an INI file given by name: a name without a folder lies in the
// Windows folder, anything else is taken from the current folder. In UTF-16, since the
// Windows folder may have no CP932 form. False when that cannot be told.
bool IniFilePath(const char* file, std::wstring* path) {
  std::wstring name;
  if (!WidenCp932(file, &name) || name.empty()) return false;
  if (name.find_first_of(L"\\/") == std::wstring::npos && !(name.size() >= 2 && name[1] == L':')) {
    *path = WindowsFolderW();
    if (path->empty()) return false;
    if (path->back() != L'\\') *path += L'\\';
    *path += name;
    return true;
  }
  const DWORD n = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (n == 0) return false;
  std::vector<wchar_t> full(n);
  const DWORD written = GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
  if (written == 0 || written >= n) return false;
  path->assign(full.data(), written);
  // Folders in their long form, as the handle's final path will spell them.
  const std::size_t leaf = path->find_last_of(L'\\');
  if (leaf != std::wstring::npos && leaf > 0) *path = LongPathW(path->substr(0, leaf)) + path->substr(leaf);
  return true;
}

// The INI file may lie in the install folder, which everyone can write: a link or a second
// name planted there would carry the elevated write elsewhere. So it is opened without
// following a link, refused when it is one or has another name, and read, written, truncated
// and deleted through that one handle.
enum class IniOpen { kOpened, kMissing, kRefused };

// The handle, when it holds a plain file with one name at `path`; closed otherwise.
bool IsPlainIniFile(HANDLE file, const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION info;
  // Some systems follow a link whatever the flag says: the final path then names its target.
  return GetFileInformationByHandle(file, &info) &&
         !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
         info.nNumberOfLinks <= 1 && HandleIsAt(file, path);
}

// `create`: a missing file is made (CREATE_NEW, so a name planted meanwhile, a link even,
// fails it). `for_delete`: the handle may delete the file.
IniOpen OpenIniFile(const std::wstring& path, bool create, bool for_delete, HANDLE* opened) {
  *opened = INVALID_HANDLE_VALUE;
  const DWORD by_name = GetFileAttributesW(path.c_str());
  const bool missing = by_name == INVALID_FILE_ATTRIBUTES;
  if (missing && GetLastError() != ERROR_FILE_NOT_FOUND) return IniOpen::kRefused;
  if (missing && !create) return IniOpen::kMissing;
  if (!missing && (by_name & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) return IniOpen::kRefused;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | (for_delete ? DELETE : 0),
                                  FILE_SHARE_READ, nullptr, missing ? CREATE_NEW : OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return IniOpen::kRefused;
  if (!IsPlainIniFile(file, path)) {
    CloseHandle(file);
    return IniOpen::kRefused;
  }
  *opened = file;
  return IniOpen::kOpened;
}

// The whole file as bytes; false for one too large or not INI text.
bool ReadIniFile(HANDLE file, std::string* bytes) {
  bytes->clear();
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart > kIniFileLimit) return false;
  bytes->resize(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes->empty() &&
      (!ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) || read != bytes->size())) {
    return false;
  }
  return IsByteIniText(*bytes);
}

// Rewrites the file in place, so it keeps its attributes and access list.
bool WriteIniFile(HANDLE file, const std::string& bytes) {
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  DWORD written = 0;
  if (!bytes.empty() &&
      (!::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
       written != bytes.size())) {
    return false;
  }
  return SetEndOfFile(file) != 0;
}

// Deletes the file the handle holds; false where the file system refuses.
bool DeleteIniFile(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// Reads the file (none yet: empty), applies `edit` to its bytes and writes back what
// changed; a file left blank is deleted when `delete_blank` (emptied where the file system
// refuses the deletion through the handle).
template <class Edit>
void EditIniFile(const char* file, bool delete_blank, Edit edit) {
  std::wstring path;
  if (!IniFilePath(file, &path)) return;
  HANDLE opened = INVALID_HANDLE_VALUE;
  const IniOpen state = OpenIniFile(path, false, delete_blank, &opened);
  if (state == IniOpen::kRefused) return;
  const FileHandle handle(opened);
  std::string before;
  if (handle.ok() && !ReadIniFile(handle.get(), &before)) return;
  const std::string after = edit(before);
  if (handle.ok() && after == before) return;
  if (delete_blank && IsBlankIniText(after)) {
    if (handle.ok() && !DeleteIniFile(handle.get())) WriteIniFile(handle.get(), std::string());
    return;
  }
  if (handle.ok()) {
    WriteIniFile(handle.get(), after);
    return;
  }
  HANDLE made = INVALID_HANDLE_VALUE;
  if (OpenIniFile(path, true, false, &made) != IniOpen::kOpened) return;
  const FileHandle created(made);
  WriteIniFile(created.get(), after);
}

struct KeyCounts {
  bool found = false;
  DWORD subkeys = 0;
  DWORD values = 0;
};

KeyCounts CountKey(HKEY root, const std::string& name) {
  KeyCounts counts;
  RegKey key;
  if (!key.Open(root, name.c_str())) return counts;
  counts.found = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &counts.subkeys, nullptr, nullptr,
                                  &counts.values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  return counts;
}

// Deletes the key when it has no subkeys and, unless `with_values`, no values: never a tree.
bool DeleteKeyIfLeaf(HKEY root, const std::string& name, bool with_values) {
  const KeyCounts counts = CountKey(root, name);
  if (!counts.found || counts.subkeys != 0 || (!with_values && counts.values != 0)) return false;
  return RegDeleteKeyCp932(root, name.c_str()) == ERROR_SUCCESS;
}

std::string ParentKeyOf(const std::string& name) {
  // Key names are CP932 (they reach the system converted): a trail byte 0x5C separates nothing.
  const std::size_t last = FindLastCharMb(name, '\\');
  return last == std::string::npos ? std::string() : name.substr(0, last);
}

// The parent "Software\<REG_GLOBAL>" when it has become empty; "Software" itself never.
void DeleteEmptyParent(HKEY root, const std::string& name) {
  const std::string parent = ParentKeyOf(name);
  if (parent.empty() || LowerMb(parent) == "software") return;
  DeleteKeyIfLeaf(root, parent, false);
}

}  // namespace

void WriteIniEntries(char* key, char* value) {
  ForEachIniEntry(key, value, [](const char* section, const char* k, const char* v, const char* file) {
    // The entry holds exactly these CP932 bytes whatever the system's code page.
    EditIniFile(file, false, [&](const std::string& text) { return SetIniEntry(text, section, k, v); });
  });
}

void WriteRegValues(char* name, char* value) {
  ForEachRegValue(name, value, [](const char* n, const char* v) {
    WriteUserRegString(SettingRegGlobal(), SettingRegLocal(), n, v);
  });
}

void RemoveIniEntries(char* key, char* value) {
  ForEachIniEntry(key, value, [](const char* section, const char* k, const char*, const char* file) {
    // A section left without keys goes too, and a file left with nothing in it.
    EditIniFile(file, true, [&](const std::string& text) { return RemoveIniEntry(text, section, k); });
  });
}

void RemoveUserKey(char* name, char* value, bool with_user_data) {
  if (SettingRegGlobal()[0] == '-') return;
  char key_name[kRegKeyBuffer];
  if (!FormatKeyName(key_name, SettingRegGlobal(), SettingRegLocal())) return;
  // The values the install wrote go; what the game stored there is the player's settings
  // and goes only with the user data. A key with subkeys is never deleted: REG_GLOBAL and
  // REG_LOCAL may name a shared key, and a tree is never deleted.
  ForEachRegValue(name, value, [&](const char* n, const char*) {
    RegKey key;
    if (key.Open(HKEY_CURRENT_USER, key_name)) key.DeleteValue(n);
  });
  if (DeleteKeyIfLeaf(HKEY_CURRENT_USER, key_name, with_user_data)) DeleteEmptyParent(HKEY_CURRENT_USER, key_name);
}

void RemoveMachineTestKey() {
  char key_name[kRegKeyBuffer];
  if (!FormatKeyName(key_name, SettingRegGlobal(), SettingRegLocal())) return;
  if (DeleteKeyIfLeaf(HKEY_LOCAL_MACHINE, key_name, false)) DeleteEmptyParent(HKEY_LOCAL_MACHINE, key_name);
}
