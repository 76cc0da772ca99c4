// The INI entries of the install, edited as CP932 bytes. The system's profile functions
// write a file in the system's code page, which is CP932 only on a Japanese system; this
// editor writes what they write there, on any system. It follows them where the program
// depends on it: names match without regard to case (CP932-aware), blanks around names and
// before a value go, a new key follows the last line of its section, a new section goes
// at the end, new lines end in CR LF. Unlike them it leaves every other line as it was.
#pragma once

#include <string>
#include <string_view>

// The file's bytes with `key` of `section` set to `value` (the first match of each, or
// added). Unchanged when the key already holds the value.
std::string SetIniEntry(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value);
// The file's bytes without the first `key` of `section`, and without the section when that
// leaves it with nothing but blank lines. Unchanged when the key is not there.
std::string RemoveIniEntry(std::string_view file, std::string_view section, std::string_view key);

// Nothing but blanks and line ends: the file can go.
bool IsBlankIniText(std::string_view file);
// False for a UTF-16 file (byte-order mark), whose bytes this editor must not touch.
bool IsByteIniText(std::string_view file);
