// The key/value lines of install.env: the setting list, its lookups and one accessor per key.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "settings/setting_keys.h"

// The reader looks at no more than this many line reads; the rest of the file is never read.
constexpr int kMaxSettingLines = 400;
// One read: at most 511 bytes and the terminator; a longer line continues as the next read.
constexpr std::size_t kSettingLineBuffer = 512;
// The value must start within this many separator bytes after the key.
constexpr std::size_t kMaxValueGap = 99;

// How the settings file is opened. The program installs its opener with the retry box;
// without one, a single attempt through the search order is made.
using SettingFileOpener = std::FILE* (*)(const char* path, const char* mode);
void SetSettingFileOpener(SettingFileOpener open);

// Reads the key/value lines of `file` and appends them to the list. 0 after reading, -1 when
// no file was opened or memory ran out (the entries read until then are kept).
int LoadSettingList(const char* file);
void FreeSettingList();

// Copies the value of the first entry whose key equals `key` (case-sensitive), else `def`,
// into buffer: at most size-1 bytes, always terminated. `def` may be the buffer itself.
char* GetSettingText(const char* key, char* buffer, std::size_t size, const char* def);
// The same with the key's row: its name and its default.
char* GetSettingText(const SettingKey& key, char* buffer, std::size_t size);
// The value as atoi converts it (out-of-range values clamp), or def when the key is absent.
int GetSettingInt(const char* key, int def);

// Per-key accessors: each returns its own static buffer, overwritten by its next call.
const char* SettingRegGlobal();
const char* SettingRegLocal();
const char* SettingIniFile();
const char* SettingIniSection();
const char* SettingTitleBar();
const char* SettingInstGroup();  // null when absent
const char* SettingInstTo();
const char* SettingInstFol();  // null when absent
const char* SettingExeName();
int SettingInstMakeFol();
// "%s スタートアップ" with the title: mutex name and main window title.
const char* SettingStartupTitle();

// What one line read gives. Exposed for the distributor's lint.
enum class SettingLineKind {
  kEnd,        // starts with "[EOF]": nothing after it is read
  kBlank,      // first byte 32 or less: empty or indented
  kComment,    // starts with "/"
  kNoValue,    // a key alone
  kValueTooFar,  // the next token starts more than 99 separators after the key
  kEntry,
};

struct SettingLine {
  SettingLineKind kind = SettingLineKind::kBlank;
  std::string key;
  std::string value;         // "|" already turned into spaces
  std::size_t ignored_from = 0;  // offset of the first ignored token after the value, or 0
};

// One read of the loader: zeroes the buffer and reads with fgets. False at end of file.
bool ReadSettingLine(std::FILE* file, char (&buffer)[kSettingLineBuffer]);
// Classifies a read; the buffer's blanks become NULs on the way.
SettingLine ParseSettingLine(char (&buffer)[kSettingLineBuffer]);

// Empties the list and forgets what the cached accessors hold (tests and tools only: the
// program loads once).
void ResetSettingsForTesting();
