#include "settings/setting_list.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/cp932.h"
#include "settings/resource_opener.h"

namespace {

struct SettingEntry {
  std::string key;
  std::string value;
};

// File order; duplicates are kept and the first one answers.
std::vector<SettingEntry> g_settings;
bool g_exit_hook_registered = false;
SettingFileOpener g_open = nullptr;

char g_reg_global[kRegGlobalKey.buffer];
char g_reg_local[kRegLocalKey.buffer];
char g_ini_file[kIniFileKey.buffer];
char g_ini_section[kIniSectionKey.buffer];
char g_title_bar[kTitleBarKey.buffer];
char g_inst_group[kInstGroupKey.buffer];
char g_inst_to[kInstToKey.buffer];
char g_inst_fol[kInstFolKey.buffer];
char g_exe_name[kExeNameKey.buffer];
char g_startup_title[kStartupTitleBuffer];
int g_make_folder = -1;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::size_t BoundedLength(const char* text, std::size_t limit) {
  const void* end = std::memchr(text, '\0', limit);
  return end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : limit;
}

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 32; }

const SettingEntry* FindSetting(const char* key) {
  for (const SettingEntry& entry : g_settings) {
    if (entry.key == key) return &entry;
  }
  return nullptr;
}

// "|" stands for a space, because a blank ends the value; a "|" trail byte stays.
void BarsToSpaces(std::string& value) {
  for (std::size_t i = 0; i < value.size(); i += CharLengthAt(value, i)) {
    if (value[i] == '|') value[i] = ' ';
  }
}

// Each accessor's buffer is sized by its key's row.
template <std::size_t N>
char* ReadSetting(const SettingKey& key, char (&buffer)[N]) {
  return GetSettingText(key, buffer, N);
}

// Cached accessors: the list is consulted while the buffer is empty, i.e. once, since
// neither a value nor the default "-" is empty.
template <std::size_t N>
const char* CachedSetting(const SettingKey& key, char (&buffer)[N]) {
  if (buffer[0] == '\0') ReadSetting(key, buffer);
  return buffer;
}

}  // namespace

void SetSettingFileOpener(SettingFileOpener open) { g_open = open; }

bool ReadSettingLine(std::FILE* file, char (&buffer)[kSettingLineBuffer]) {
  std::memset(buffer, 0, sizeof buffer);
  return std::fgets(buffer, static_cast<int>(sizeof buffer), file) != nullptr;
}

SettingLine ParseSettingLine(char (&buffer)[kSettingLineBuffer]) {
  SettingLine line;
  if (std::memcmp(buffer, "[EOF]", 5) == 0) {
    line.kind = SettingLineKind::kEnd;
    return line;
  }
  if (IsSeparator(buffer[0])) {
    line.kind = SettingLineKind::kBlank;
    return line;
  }
  if (buffer[0] == '/') {
    line.kind = SettingLineKind::kComment;
    return line;
  }
  for (char& c : buffer) {
    if (IsSeparator(c)) c = '\0';
  }

  constexpr std::size_t size = kSettingLineBuffer;
  const std::size_t key_end = BoundedLength(buffer, size);
  line.key.assign(buffer, key_end);
  std::size_t start = key_end;
  while (start < size && buffer[start] == '\0') ++start;
  if (start >= size) {
    line.kind = SettingLineKind::kNoValue;
    return line;
  }
  if (start - key_end > kMaxValueGap) {
    line.kind = SettingLineKind::kValueTooFar;
    return line;
  }
  const std::size_t value_end = start + BoundedLength(buffer + start, size - start);
  line.value.assign(buffer + start, value_end - start);
  BarsToSpaces(line.value);
  for (std::size_t i = value_end; i < size; ++i) {
    if (buffer[i] != '\0') {
      line.ignored_from = i;
      break;
    }
  }
  line.kind = SettingLineKind::kEntry;
  return line;
}

int LoadSettingList(const char* file) {
  if (!g_exit_hook_registered) {
    std::atexit(FreeSettingList);
    g_exit_hook_registered = true;
  }
  std::unique_ptr<std::FILE, FileCloser> stream(g_open ? g_open(file, "rt")
                                                       : AttemptOpenSetupFile(file, "rt"));
  if (!stream) return -1;

  char buffer[kSettingLineBuffer];
  try {
    for (int read = 0; read < kMaxSettingLines; ++read) {
      if (!ReadSettingLine(stream.get(), buffer)) break;
      SettingLine line = ParseSettingLine(buffer);
      if (line.kind == SettingLineKind::kEnd) break;
      if (line.kind != SettingLineKind::kEntry) continue;
      g_settings.push_back({std::move(line.key), std::move(line.value)});
    }
  } catch (const std::bad_alloc&) {
    // At most 400 short lines: running out here means the process is in trouble anyway;
    // keep what was read rather than end it from inside a reader.
    return -1;
  }
  return 0;
}

void FreeSettingList() {
  g_settings.clear();
  g_settings.shrink_to_fit();
}

char* GetSettingText(const char* key, char* buffer, std::size_t size, const char* def) {
  if (size == 0) return buffer;
  const SettingEntry* entry = FindSetting(key);
  // The default may be the buffer itself: measure within it and move, never copy.
  const char* source = entry ? entry->value.c_str() : def;
  const std::size_t length =
      entry ? entry->value.size() : def == buffer ? BoundedLength(def, size) : std::strlen(def);
  const std::size_t n = length < size - 1 ? length : size - 1;
  std::memmove(buffer, source, n);
  buffer[n] = '\0';
  buffer[size - 1] = '\0';
  return buffer;
}

char* GetSettingText(const SettingKey& key, char* buffer, std::size_t size) {
  return GetSettingText(key.name, buffer, size, key.fallback);
}

int GetSettingInt(const char* key, int def) {
  const SettingEntry* entry = FindSetting(key);
  if (!entry) return def;
  const long value = std::strtol(entry->value.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

const char* SettingRegGlobal() { return CachedSetting(kRegGlobalKey, g_reg_global); }
const char* SettingRegLocal() { return CachedSetting(kRegLocalKey, g_reg_local); }
const char* SettingIniFile() { return CachedSetting(kIniFileKey, g_ini_file); }
const char* SettingIniSection() { return CachedSetting(kIniSectionKey, g_ini_section); }

const char* SettingTitleBar() { return ReadSetting(kTitleBarKey, g_title_bar); }

const char* SettingInstGroup() {
  ReadSetting(kInstGroupKey, g_inst_group);
  return g_inst_group[0] ? g_inst_group : nullptr;
}

const char* SettingInstTo() { return ReadSetting(kInstToKey, g_inst_to); }

const char* SettingInstFol() {
  ReadSetting(kInstFolKey, g_inst_fol);
  return g_inst_fol[0] ? g_inst_fol : nullptr;
}

const char* SettingExeName() { return ReadSetting(kExeNameKey, g_exe_name); }

int SettingInstMakeFol() {
  if (g_make_folder == -1) g_make_folder = GetSettingInt(kInstMakeFolKey.name, std::atoi(kInstMakeFolKey.fallback));
  return g_make_folder;
}

const char* SettingStartupTitle() {
  std::snprintf(g_startup_title, sizeof g_startup_title, "%s スタートアップ", SettingTitleBar());
  return g_startup_title;
}

void ResetSettingsForTesting() {
  FreeSettingList();
  for (char* buffer : {g_reg_global, g_reg_local, g_ini_file, g_ini_section}) buffer[0] = '\0';
  g_make_folder = -1;
}
