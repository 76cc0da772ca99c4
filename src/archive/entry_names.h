// The name rules of the payload archive, shared by the reader, the writer, the install list
// and the uninstaller: which names are safe to join to a target folder, and which ones the
// start-up pass unpacks.
#pragma once

#include <string>
#include <string_view>

// Null when the name may be joined to a target folder, else why not. Accepted: CP932
// components separated by single backslashes, no '/', ':' or control characters, no
// component made only of dots and spaces, no DOS device name, at most 259 bytes. Only a
// folder entry's name may end with a backslash.
const char* CheckEntryName(std::string_view name, bool folder);

// target + '\\' + name, refused (false) when it would not fit a 260-byte path buffer.
bool JoinOutputPath(std::string_view target, std::string_view name, std::string* path);

// Setup-file test: the pattern occurs in the name, both lower-cased, at a character boundary.
bool IsSetupFile(std::string_view name, std::string_view pattern);
bool MatchesAnySetupPattern(std::string_view name);

// True for a folder entry that lies two or more levels deep: a character follows its
// first backslash. The setup pass ends at the first such entry.
bool IsNestedFolderName(std::string_view name);
