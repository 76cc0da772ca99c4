#include "system/registry_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/cp932.h"
#include "settings/section_lists.h"
#include "settings/setting_list.h"
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
  DWORD length = sizeof data;
  if (RegQueryValueExA(key.get(), value_name, nullptr, &type, reinterpret_cast<BYTE*>(data),
                       &length) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  // Stored data need not carry its terminator.
  data[length < sizeof data ? length : sizeof data - 1] = '\0';
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

// Where the system keeps an INI file given by name: a bare name lies in the Windows
// folder. Empty for a relative path with folders, which is not looked after.
std::string IniFilePath(const char* file) {
  const std::string_view name(file);
  if (FindCharMb(name, '\\') == std::string_view::npos && FindCharMb(name, ':') == std::string_view::npos) {
    char windows[kPathBuffer] = "";
    const UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n == 0 || n >= sizeof windows) return std::string();
    std::string path(windows);
    return AddBackslash(path) + file;
  }
  if (name.size() >= 3 && name[1] == ':' && name[2] == '\\') return std::string(name);
  return std::string();
}

// A file holding nothing but blanks and line ends.
bool IsBlankFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  bool blank = true;
  for (int c; blank && (c = std::fgetc(file)) != EOF;) blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
  std::fclose(file);
  return blank;
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
  counts.found = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &counts.subkeys, nullptr, nullptr,
                                  &counts.values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  return counts;
}

// Deletes the key when it has no subkeys and, unless `with_values`, no values: never a tree.
bool DeleteKeyIfLeaf(HKEY root, const std::string& name, bool with_values) {
  const KeyCounts counts = CountKey(root, name);
  if (!counts.found || counts.subkeys != 0 || (!with_values && counts.values != 0)) return false;
  return RegDeleteKeyA(root, name.c_str()) == ERROR_SUCCESS;
}

std::string ParentKeyOf(const std::string& name) {
  // The system reads key names in the ANSI code page: a trail byte 0x5C separates nothing.
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
    WritePrivateProfileStringA(section, k, v, file);
  });
}

void WriteRegValues(char* name, char* value) {
  ForEachRegValue(name, value, [](const char* n, const char* v) {
    WriteUserRegString(SettingRegGlobal(), SettingRegLocal(), n, v);
  });
}

void RemoveIniEntries(char* key, char* value) {
  ForEachIniEntry(key, value, [](const char* section, const char* k, const char*, const char* file) {
    WritePrivateProfileStringA(section, k, nullptr, file);
    // A section left without keys goes too, and a file left with nothing in it.
    char probe[4];
    if (GetPrivateProfileSectionA(section, probe, sizeof probe, file) == 0) {
      WritePrivateProfileStringA(section, nullptr, nullptr, file);
    }
    if (GetPrivateProfileSectionNamesA(probe, sizeof probe, file) == 0) {
      const std::string path = IniFilePath(file);
      if (!path.empty() && IsBlankFile(path)) DeleteFileA(path.c_str());
    }
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
    if (key.Open(HKEY_CURRENT_USER, key_name)) RegDeleteValueA(key.get(), n);
  });
  if (DeleteKeyIfLeaf(HKEY_CURRENT_USER, key_name, with_user_data)) DeleteEmptyParent(HKEY_CURRENT_USER, key_name);
}

void RemoveMachineTestKey() {
  char key_name[kRegKeyBuffer];
  if (!FormatKeyName(key_name, SettingRegGlobal(), SettingRegLocal())) return;
  if (DeleteKeyIfLeaf(HKEY_LOCAL_MACHINE, key_name, false)) DeleteEmptyParent(HKEY_LOCAL_MACHINE, key_name);
}
