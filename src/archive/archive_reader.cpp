#include "archive/archive_reader.h"

#include <cstring>

#include "archive/archive_format.h"
#include "archive/archive_stream.h"
#include "archive/signed_image.h"
#include "common/byte_order.h"
#include "common/cp932.h"

namespace {

bool ReadBytes(ArchiveStream& in, void* data, std::size_t size) { return in.Read(data, size) == size; }

}  // namespace

std::uint32_t EntryHeader::HeaderBytes() const {
  return static_cast<std::uint32_t>(name.size()) + 1 + kEntryFixedBytes;
}

HeaderStatus ReadEntryHeader(ArchiveStream& in, EntryHeader* entry) {
  unsigned char length_bytes[2];
  if (!ReadBytes(in, length_bytes, 2)) return HeaderStatus::kShort;
  const std::size_t n = LoadU16(length_bytes);
  if (n == 0) return HeaderStatus::kEnd;
  entry->name.clear();
  // A name beyond the program's 260-byte buffer is outside the format: refuse it before
  // reading it, so nothing is ever held past that size.
  if (n > kNameBuffer) return HeaderStatus::kBadName;
  char name[kNameBuffer];
  unsigned char sizes[8];
  if (!ReadBytes(in, name, n) || !ReadBytes(in, sizes, 8)) return HeaderStatus::kShort;
  entry->size = static_cast<std::int32_t>(LoadU32(sizes));
  entry->packed = LoadU32(sizes + 4);
  // The name ends with its NUL and holds no other.
  const bool terminated = name[n - 1] == '\0';
  entry->name.assign(name, terminated ? n - 1 : n);
  if (!terminated || std::memchr(name, '\0', n - 1)) return HeaderStatus::kBadName;
  if (CheckEntryName(entry->name, entry->IsFolder())) return HeaderStatus::kBadName;
  return HeaderStatus::kEntry;
}

std::string SidecarPathFor(std::string_view exe_path) {
  // Drive and folder end at the last separator the way _splitpath sees them.
  std::size_t cut = 0;
  for (char separator : {'\\', '/', ':'}) {
    const std::size_t at = FindLastCharMb(exe_path, separator);
    if (at != std::string_view::npos && at + 1 > cut) cut = at + 1;
  }
  std::string path(exe_path.substr(0, cut));
  path += kSidecarName;
  return path;
}

ArchiveStream::ArchiveStream(LocatedArchive& archive, VolumeOpener* opener, VolumeUse use)
    : ArchiveStream(*archive.file, archive.start, archive.length, archive.volumes, opener, use) {}

std::int64_t LocatedArchive::TotalLength() const {
  std::int64_t total = length;
  for (const VolumeRecord& volume : volumes) total += volume.size;
  return total;
}

namespace {

LocateStatus MeasureArchive(std::unique_ptr<ArchiveFile> file, bool as_sidecar, LocatedArchive* found) {
  const std::int64_t size = file->Size();
  if (size < 0) return LocateStatus::kBadTrailer;
  std::int64_t start = 0;
  std::int64_t end = size;
  if (!as_sidecar) {
    // The trailer is checked before walking: an executable without an archive would
    // otherwise be walked from wherever its last four bytes happen to point.
    if (size < static_cast<std::int64_t>(kTrailerBytes)) return LocateStatus::kBadTrailer;
    // A signed setup carries its certificate table after the trailer.
    const std::int64_t trailer_at = FindTrailerOffset(*file, size);
    unsigned char trailer[4];
    if (!file->ReadAt(trailer_at, trailer, sizeof trailer)) return LocateStatus::kBadTrailer;
    start = LoadU32(trailer);
    if (start > trailer_at) return LocateStatus::kBadTrailer;
    end = trailer_at;
  }
  const std::int64_t archive_end = end;
  std::vector<VolumeRecord> volumes;
  std::int64_t table_bytes = 0;
  switch (ReadVolumeTable(*file, start, end, &volumes, &table_bytes)) {
    case VolumeTable::kNone: break;
    case VolumeTable::kFound: end -= table_bytes; break;
    case VolumeTable::kBad: return LocateStatus::kBadTrailer;
  }
  if (!file->Seek(start)) return LocateStatus::kBadTrailer;
  found->file = std::move(file);
  found->start = start;
  found->length = end - start;
  found->end = archive_end;
  found->sidecar = as_sidecar;
  found->volumes = std::move(volumes);
  return LocateStatus::kFound;
}

std::unique_ptr<ArchiveFile> FromStream(FilePtr stream) {
  if (!stream) return nullptr;
  return std::make_unique<StdioArchiveFile>(std::move(stream));
}

}  // namespace

LocateStatus LocateInFile(std::unique_ptr<ArchiveFile> file, bool as_sidecar, LocatedArchive* found) {
  if (!file) return LocateStatus::kNoFile;
  return MeasureArchive(std::move(file), as_sidecar, found);
}

LocateStatus OpenArchiveFile(const char* path, bool as_sidecar, LocatedArchive* found) {
  return LocateInFile(FromStream(FilePtr(std::fopen(path, "rb"))), as_sidecar, found);
}

LocateStatus LocateInStream(FilePtr stream, bool as_sidecar, LocatedArchive* found) {
  return LocateInFile(FromStream(std::move(stream)), as_sidecar, found);
}

bool CarriesSignedArchive(ArchiveFile* exe) {
  if (!exe) return false;
  const std::int64_t size = exe->Size();
  return size >= 0 && HasSignedTrailer(*exe, size);
}

LocateStatus LocateOwnArchiveIn(std::unique_ptr<ArchiveFile> exe, std::unique_ptr<ArchiveFile> sidecar,
                                LocatedArchive* found) {
  // Otherwise the side-car wins whenever it opens, even beside an executable with its own
  // archive; beside a signed one, a dropped file would be installed under its signature.
  if (sidecar && !CarriesSignedArchive(exe.get())) return MeasureArchive(std::move(sidecar), true, found);
  return LocateInFile(std::move(exe), false, found);
}

LocateStatus LocateArchive(const char* exe_path, LocatedArchive* found) {
  const std::string sidecar = SidecarPathFor(exe_path);
  return LocateOwnArchiveIn(FromStream(FilePtr(std::fopen(exe_path, "rb"))),
                            FromStream(FilePtr(std::fopen(sidecar.c_str(), "rb"))), found);
}
