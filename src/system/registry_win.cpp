#include "system/registry_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

void WriteIniEntries(char* key, char* value) {
  // Only emptiness is looked at: the default "-" passes and names a file in the Windows folder.
  const char* file = SettingIniFile();
  if (file[0] == '\0') return;
  for (const SectionLine* line = SectionListHead(kSectionIni); line; line = line->next) {
    if (SplitIniLine(line->text, key, value) != 0) continue;
    WritePrivateProfileStringA(SettingIniSection(), key, value, file);
  }
}

void WriteRegValues(char* name, char* value) {
  if (SettingRegGlobal()[0] == '-') return;
  for (const SectionLine* line = SectionListHead(kSectionReg); line; line = line->next) {
    if (SplitRegLine(line->text, name, value) != 0) continue;
    WriteUserRegString(SettingRegGlobal(), SettingRegLocal(), name, value);
  }
}
