// Resource file opener, search logic: where a setup file is looked for and in which order.
// The program only sets the plain-file switch, so a setup file opens by its own path; the
// other places (base-folder prefix, registered folders and archives) are set up by tools
// and tests through the registration functions below.
// The lock and the retry box live in resource_opener_win.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/cp932.h"

// One entry of an archive place's index: 12 bytes, sorted ascending by key (unsigned).
struct IndexRecord {
  std::uint32_t key;
  std::uint32_t offset;    // of the file's first byte, from the start of the archive file
  std::uint32_t reserved;  // not read by the opener
};
static_assert(sizeof(IndexRecord) == 12, "index records are 12 bytes");

// A folder place's name table: a file with this key lies in `folder` (no trailing backslash).
struct NameTableRecord {
  std::uint32_t key;
  std::string folder;
};

enum PlaceKind : std::int32_t { kFolderPlace = 0, kArchivePlace = 1 };

// A registered place. An empty name table or index stands for "none". A kind other than
// the two above makes the place be skipped.
struct PlaceRecord {
  std::string archive_path;
  std::vector<IndexRecord> index;
  std::vector<NameTableRecord> name_table;
  std::int32_t kind = kFolderPlace;
};

// Non-zero: a path may be opened unchanged (relative to the current directory).
void SetPlainFileSwitch(int value);
// Prepended to the caller's path with no separator: a folder prefix carries its own "\".
// A prefix that does not fit 259 bytes is refused (returns false, prefix unchanged).
bool SetBaseFolderPrefix(const char* prefix);

// Places are searched in registration order.
void RegisterPlace(PlaceRecord place);
// Kind 0: the files named (file name only) lie in `folder`.
void RegisterFolderPlace(const std::string& folder, const std::vector<std::string>& file_names);
// Kind 1: the archive at `archive_path` holds each named file at the given offset; the
// index is sorted here.
void RegisterArchivePlace(const std::string& archive_path,
                          const std::vector<std::pair<std::string, std::uint32_t>>& entries);
void ClearRegisteredPlaces();

// CRC-32 (zlib's) of the path's file name and extension, lower-cased, without folder part.
std::uint32_t NameKey(const char* path);
// Extension ".ogg" or ".wav" in any case.
bool IsSoundPath(const char* path);

// One opening attempt through the whole search order; null when nothing opens. The stream
// is positioned at the file's first byte (the index offset for an archive place).
// Not locked: callers in the program go through OpenSetupFile.
std::FILE* AttemptOpenSetupFile(const char* path, const char* mode);

// Where the file would be found: fills `result` (kPathBuffer bytes) and returns it, or
// returns null with `result` emptied. Folder and archive places answer from their tables
// without opening anything.
char* FindSetupFile(const char* path, char* result);
