// The program's own key "Software\<REG_GLOBAL>\<REG_LOCAL>": string and integer reads and
// string writes under HKEY_CURRENT_USER, the create test under HKEY_LOCAL_MACHINE, and the
// two loops that turn the [ini] and [reg] lines into INI entries and per-user values.
#pragma once

#include <cstddef>

#include "settings/section_lists.h"

// Key name buffer and the read limit: a value whose data (with its terminator) exceeds
// kRegReadBuffer bytes cannot be read.
constexpr std::size_t kRegKeyBuffer = 512;
constexpr std::size_t kRegReadBuffer = 512;
// Split buffers of the [ini] and [reg] loops.
constexpr std::size_t kSplitBuffer = kSectionLineBuffer;

// 0 when a REG_SZ value was read, -1 otherwise. `result` (size bytes) always ends up holding
// the value or the default, cut to size - 1 bytes and terminated.
int ReadUserRegString(const char* global, const char* local, const char* value_name,
                      const char* def, char* result, std::size_t size);
// The REG_SZ value converted like atoi; the default for a missing or non-REG_SZ value.
int ReadUserRegInt(const char* global, const char* local, const char* value_name, int def);
// Creates the key as needed and writes a REG_SZ value. 0 or -1.
int WriteUserRegString(const char* global, const char* local, const char* value_name,
                       const char* text);
// Creates (or opens) the machine-wide key with full access and leaves it in place.
// 0 when that worked, -1 otherwise: without administrator rights installing is refused.
int TestMachineKey(const char* global, const char* local);

// Every [ini] line that splits becomes one entry of INI_SECTION in INI_FILE, in file order.
// `key` and `value` are the caller's kSplitBuffer-byte scratch buffers.
void WriteIniEntries(char* key, char* value);
// Every [reg] line that splits becomes a REG_SZ value of the per-user key, unless
// REG_GLOBAL starts with "-".
void WriteRegValues(char* name, char* value);

// Undoing the above for the uninstaller, with the same settings and sections.
// Every [ini] key is deleted again; a section left without keys goes, and a file left blank.
void RemoveIniEntries(char* key, char* value);
// Deletes the [reg] values from the per-user key (unless REG_GLOBAL starts with "-"), then the
// key when it is left empty or `with_user_data` (the player agreed to lose the game's own
// values), and then its parent when empty. A key with subkeys is never deleted.
void RemoveUserKey(char* name, char* value, bool with_user_data);
// Deletes the machine-wide test key when it is empty, and then its parent when empty.
void RemoveMachineTestKey();
