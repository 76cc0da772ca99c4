// Reading the payload archive: the locator, entry headers, and the name rules that keep
// every output inside the target folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file) std::fclose(file);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct EntryHeader {
  std::string name;  // without its NUL
  std::int32_t size = 0;
  std::uint32_t packed = 0;
  bool IsFolder() const { return size == -1; }
  // Bytes of the header as stored: u16, name with NUL, i32, u32.
  std::uint32_t HeaderBytes() const;
};

enum class HeaderStatus {
  kEntry,     // header read, name accepted
  kEnd,       // the end marker
  kShort,     // the stream ended inside the header
  kBadName,   // the name is not a safe relative path (see CheckEntryName)
};

// Reads one header. On kEntry the stream stands after the packed size (before the time
// stamp of a file entry).
HeaderStatus ReadEntryHeader(std::FILE* in, EntryHeader* entry);

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

// The side-car's path: the executable's drive and folder followed by instdat.arc.
std::string SidecarPathFor(std::string_view exe_path);

enum class LocateStatus { kFound, kNoFile, kBadTrailer };

struct LocatedArchive {
  FilePtr stream;            // positioned at the first entry
  std::int32_t length = 0;   // bytes from the first entry up to the trailer or file end
  std::int64_t start = 0;    // file offset of the first entry
  bool sidecar = false;
};

// Side-car beside the executable when it opens, else the archive appended to the
// executable. The trailer must point inside the file, before itself.
LocateStatus LocateArchive(const char* exe_path, LocatedArchive* found);

// The same for one given file, which is taken as a side-car when `as_sidecar`, else as an
// executable with trailer.
LocateStatus OpenArchiveFile(const char* path, bool as_sidecar, LocatedArchive* found);
// The same for a file opened by the caller (whose paths fopen may not take).
LocateStatus LocateInStream(FilePtr stream, bool as_sidecar, LocatedArchive* found);
