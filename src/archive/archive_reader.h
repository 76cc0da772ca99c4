// Reading the payload archive: the locator and the entry headers. Every name a header
// holds has passed the name rules of entry_names.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include <vector>

#include "archive/archive_file.h"
#include "archive/entry_names.h"
#include "archive/volume_set.h"

class ArchiveStream;

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
HeaderStatus ReadEntryHeader(ArchiveStream& in, EntryHeader* entry);

// The side-car's path: the executable's drive and folder followed by instdat.arc.
std::string SidecarPathFor(std::string_view exe_path);

enum class LocateStatus { kFound, kNoFile, kBadTrailer };

struct LocatedArchive {
  std::unique_ptr<ArchiveFile> file;  // the first volume
  std::int64_t start = 0;   // file offset of the first entry
  std::int64_t length = 0;  // entry bytes in this file: up to the volume table, the trailer or the end
  std::int64_t end = 0;     // where the archive's bytes end: the trailer, or the side-car's end
  bool sidecar = false;
  std::vector<VolumeRecord> volumes;  // the further volumes, none for an archive of one
  // Entry bytes of every volume together.
  std::int64_t TotalLength() const;
};

// Side-car beside the executable when it opens, else the archive appended to the
// executable; but an executable that carries its archive inside its signed range ignores a
// side-car, whose bytes no signature covers. The trailer must point inside the file, before
// itself; a volume table must fit what lies between.
LocateStatus LocateArchive(const char* exe_path, LocatedArchive* found);

// That precedence for files the caller opened (either may be null).
LocateStatus LocateOwnArchiveIn(std::unique_ptr<ArchiveFile> exe, std::unique_ptr<ArchiveFile> sidecar,
                                LocatedArchive* found);

// True when the file is an executable whose appended archive and trailer lie inside the
// range its certificate table signs.
bool CarriesSignedArchive(ArchiveFile* exe);

// The same for one given file, which is taken as a side-car when `as_sidecar`, else as an
// executable with trailer.
LocateStatus OpenArchiveFile(const char* path, bool as_sidecar, LocatedArchive* found);
// The same for a file opened by the caller (whose paths fopen may not take).
LocateStatus LocateInStream(FilePtr stream, bool as_sidecar, LocatedArchive* found);
LocateStatus LocateInFile(std::unique_ptr<ArchiveFile> file, bool as_sidecar, LocatedArchive* found);

