// The keys of install.env's key/value lines, one row each: name, default, the buffer its value
// lands in and what the program does with it. The accessors, the distributor's lint and
// docs/install-env.md all go by these rows (a native test holds the document to them).
#pragma once

#include <cstddef>
#include <string_view>

#include "common/cp932.h"

// Buffer of the per-key accessors: values longer than 127 bytes are cut.
constexpr std::size_t kSettingBuffer = 128;
constexpr std::size_t kStartupTitleBuffer = 256;

// What a value is to the program beyond a text; lint checks each kind its own way.
enum class SettingKind {
  kText,     // text, cut to its buffer
  kTitle,    // text that also names the single-instance lock
  kNumber,   // read as atoi reads it, whole: no buffer
  kStandIn,  // read only in place of another key that is absent
};

struct SettingKey {
  const char* name;
  SettingKind kind;
  const char* fallback;  // the default, taken when the key is absent ("-" means none)
  std::size_t buffer;    // bytes the value lands in, terminator included; 0 for a number
  const char* meaning;   // what the program does with the value, in one line

  // The observable limit: the bytes of a longer value that the program still uses.
  constexpr std::size_t Limit() const { return buffer == 0 ? 0 : buffer - 1; }
};

inline constexpr SettingKey kRegGlobalKey{
    "REG_GLOBAL", SettingKind::kText, "-", kSettingBuffer,
    "Upper level of the key Software\\REG_GLOBAL\\REG_LOCAL: per user it takes the [reg] values and "
    "gives the previous install folder, machine-wide it is the administrator test; a value starting "
    "with \"-\" writes no [reg] values"};
inline constexpr SettingKey kRegLocalKey{"REG_LOCAL", SettingKind::kText, "-", kSettingBuffer,
                                         "Lower level of the key Software\\REG_GLOBAL\\REG_LOCAL"};
inline constexpr SettingKey kIniFileKey{
    "INI_FILE", SettingKind::kText, "-", kSettingBuffer,
    "The INI file that takes the [ini] entries; a name without a folder lies in the Windows folder, "
    "and the default \"-\" is such a name"};
inline constexpr SettingKey kIniSectionKey{"INI_SECTION", SettingKind::kText, "-", kSettingBuffer,
                                           "The INI section of the [ini] entries"};
inline constexpr SettingKey kTitleBarKey{
    "TITLEBAR", SettingKind::kTitle, "ＶＥＬＵＮＡ アプリケーション", kSettingBuffer,
    "The product title: the windows' titles and the single-instance lock, the Start-menu folder and "
    "the shortcut names, the uninstall entry"};
inline constexpr SettingKey kInstGroupKey{"INST_GROUP", SettingKind::kText, "", kSettingBuffer,
                                          "A Start-menu folder above the title's folder; absent, none"};
inline constexpr SettingKey kInstToKey{
    "INSTTO", SettingKind::kText, "VELUNA_APP", kSettingBuffer,
    "The install folder's own name: the proposed and the browsed folder end in it; the shortcuts' description"};
inline constexpr SettingKey kInstFolKey{"INSTFOL", SettingKind::kText, "", kSettingBuffer,
                                        "A folder level placed before INSTTO wherever INSTTO is appended; absent, none"};
inline constexpr SettingKey kExeNameKey{
    "EXENAME", SettingKind::kText, "veluna.exe", kSettingBuffer,
    "The game's program in the install folder: target of the game's shortcuts, the uninstall entry's icon"};
inline constexpr SettingKey kInstMakeFolKey{
    "INSTMAKEFOL", SettingKind::kNumber, "0", 0,
    "Non-zero: the chosen install folder gets INSTFOL and INSTTO appended unless it already contains the INSTTO name"};
inline constexpr SettingKey kInstReadmeKey{
    "INSTREADME", SettingKind::kText, "-", kSettingBuffer,
    "Label of the readme button and of the end dialog's readme box, name of the readme shortcut; a value "
    "starting with \"-\" means no button and no box"};
inline constexpr SettingKey kInstReadmeFlKey{
    "INSTREADMEFL", SettingKind::kText, "readme.txt", kSettingBuffer,
    "The readme file that the readme button and the end dialog open and the readme shortcut starts"};
inline constexpr SettingKey kHelpFileKey{"HELP_FILE", SettingKind::kStandIn, "", kPathBuffer,
                                         "The readme shortcut's target when INSTREADMEFL is absent"};

// Absent INSTREADME, the readme shortcut is named this rather than "-".
inline constexpr char kReadmeShortcutFallback[] = "お読みください";

// Every key the program reads, in this order (lint's look-alike search keeps the first of
// two equally close keys).
inline constexpr SettingKey kSettingKeys[] = {
    kRegGlobalKey, kRegLocalKey, kIniFileKey,    kIniSectionKey,  kTitleBarKey,     kInstGroupKey, kInstToKey,
    kInstFolKey,   kExeNameKey,  kInstMakeFolKey, kInstReadmeKey, kInstReadmeFlKey, kHelpFileKey};

// The row of a key (byte-exact, case-sensitive, as the lookups compare), or null.
const SettingKey* FindSettingKey(std::string_view name);
