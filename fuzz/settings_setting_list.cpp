// The key/value reader over arbitrary bytes, then every lookup and accessor.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/setting_list.h"

namespace {

const std::uint8_t* g_data;
std::size_t g_size;

std::FILE* OpenFuzzInput(const char*, const char*) {
  // fmemopen refuses an empty buffer; an empty file reads the same as a missing line.
  static const char empty = '\n';
  return g_size ? fmemopen(const_cast<std::uint8_t*>(g_data), g_size, "r")
                : fmemopen(const_cast<char*>(&empty), 1, "r");
}

void CheckTerminated(const char* text, std::size_t size) {
  if (text && std::memchr(text, '\0', size) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  g_data = data;
  g_size = size;
  ResetSettingsForTesting();
  SetSettingFileOpener(OpenFuzzInput);
  LoadSettingList("install.env");

  for (const char* key : {"TITLEBAR", "INSTTO", "EXENAME", "INSTREADME", "INSTREADMEFL", "HELP_FILE", ";"}) {
    char small[3];
    char wide[600];
    CheckTerminated(GetSettingText(key, small, sizeof small, "default"), sizeof small);
    CheckTerminated(GetSettingText(key, wide, sizeof wide, ""), sizeof wide);
    GetSettingText(key, wide, sizeof wide, wide);
    GetSettingInt(key, 0);
  }
  CheckTerminated(SettingRegGlobal(), kSettingBuffer);
  CheckTerminated(SettingRegLocal(), kSettingBuffer);
  CheckTerminated(SettingIniFile(), kSettingBuffer);
  CheckTerminated(SettingIniSection(), kSettingBuffer);
  CheckTerminated(SettingTitleBar(), kSettingBuffer);
  CheckTerminated(SettingInstGroup(), kSettingBuffer);
  CheckTerminated(SettingInstTo(), kSettingBuffer);
  CheckTerminated(SettingInstFol(), kSettingBuffer);
  CheckTerminated(SettingExeName(), kSettingBuffer);
  CheckTerminated(SettingStartupTitle(), kStartupTitleBuffer);
  SettingInstMakeFol();
  return 0;
}
