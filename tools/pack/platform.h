// What the pack tool does differently on POSIX systems and on Windows (platform_posix.cpp,
// platform_win.cpp). Everywhere else in the tool a path is a std::string in UTF-8 (on POSIX,
// whatever bytes the file system holds); only these functions hand paths to the system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_file.h"

// The arguments as UTF-8. Windows passes main() the ANSI form, in which a name outside the
// ANSI code page is already lost, so the wide command line is read instead.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Sets the terminal up for UTF-8 output and the progress line, for as long as the tool runs.
void PrepareConsole();
// True when standard output is a terminal that shows the progress line.
bool StdoutIsTerminal();

// A UTF-8 path as the file system library takes it, and a name from it back as UTF-8.
std::filesystem::path PathFromUtf8(const std::string& path);
std::string Utf8FromPath(const std::filesystem::path& path);

// fopen on a UTF-8 path.
std::FILE* OpenFile(const std::string& path, const char* mode);
// A scratch file for reading and writing, gone when closed.
std::FILE* OpenTemporaryFile();

// Seek and position with 64-bit offsets: `long`, which fseek takes, is 32 bits on Windows.
bool SeekFile(std::FILE* file, std::int64_t offset, int whence);
std::int64_t TellFile(std::FILE* file);

// Last write time of a file as a FILETIME (100 ns ticks since 1601, UTC), at the file
// system's full resolution.
bool GetFileWriteTime(const std::string& path, std::uint64_t* filetime);
bool SetFileWriteTime(const std::string& path, std::uint64_t filetime);

// Whole-string conversions with the system's CP932 table. ConvertUtf8ToCp932 fails when any
// character has no CP932 form (it does not check the way back: see Utf8ToCp932).
// ConvertCp932ToUtf8 returns std::string::npos, or the offset of the first byte that does not
// convert, with the text before it in *utf8.
bool ConvertUtf8ToCp932(const std::string& utf8, std::string* cp932);
std::size_t ConvertCp932ToUtf8(const std::string& cp932, std::string* utf8);

// SHA-256 for the volume records: the system's where it has one, else a library's.
std::unique_ptr<Sha256> NewSha256();
