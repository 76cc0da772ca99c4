#include "archive/archive_reader.h"

#include <cstring>

#include "archive/archive_format.h"
#include "archive/signed_image.h"
#include "common/byte_order.h"
#include "common/cp932.h"

namespace {

bool ReadBytes(std::FILE* in, void* data, std::size_t size) {
  return std::fread(data, 1, size, in) == size;
}

}  // namespace

std::uint32_t EntryHeader::HeaderBytes() const {
  return static_cast<std::uint32_t>(name.size()) + 1 + kEntryFixedBytes;
}

HeaderStatus ReadEntryHeader(std::FILE* in, EntryHeader* entry) {
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

namespace {

class StreamSource : public ByteSource {
 public:
  explicit StreamSource(std::FILE* stream) : stream_(stream) {}
  bool ReadAt(std::int64_t offset, void* data, std::size_t size) override {
    // Offsets stay below kArchiveLimit, which a long holds on every platform.
    return offset >= 0 && offset <= kArchiveLimit && std::fseek(stream_, static_cast<long>(offset), SEEK_SET) == 0 &&
           ReadBytes(stream_, data, size);
  }

 private:
  std::FILE* stream_;
};

LocateStatus MeasureArchive(FilePtr stream, bool as_sidecar, LocatedArchive* found) {
  if (std::fseek(stream.get(), 0, SEEK_END) != 0) return LocateStatus::kBadTrailer;
  const long size = std::ftell(stream.get());
  if (size < 0 || size > kArchiveLimit) return LocateStatus::kBadTrailer;
  std::int64_t start = 0;
  std::int64_t length = size;
  if (!as_sidecar) {
    // The trailer is checked before walking: an executable without an archive would
    // otherwise be walked from wherever its last four bytes happen to point.
    if (size < static_cast<long>(kTrailerBytes)) return LocateStatus::kBadTrailer;
    // A signed setup carries its certificate table after the trailer.
    StreamSource source(stream.get());
    const std::int64_t trailer_at = FindTrailerOffset(source, size);
    unsigned char trailer[4];
    if (!source.ReadAt(trailer_at, trailer, sizeof trailer)) return LocateStatus::kBadTrailer;
    start = LoadU32(trailer);
    if (start > trailer_at) return LocateStatus::kBadTrailer;
    length = trailer_at - start;
  }
  if (std::fseek(stream.get(), static_cast<long>(start), SEEK_SET) != 0) return LocateStatus::kBadTrailer;
  found->stream = std::move(stream);
  found->length = static_cast<std::int32_t>(length);
  found->start = start;
  found->sidecar = as_sidecar;
  return LocateStatus::kFound;
}

}  // namespace

LocateStatus OpenArchiveFile(const char* path, bool as_sidecar, LocatedArchive* found) {
  FilePtr stream(std::fopen(path, "rb"));
  if (!stream) return LocateStatus::kNoFile;
  return MeasureArchive(std::move(stream), as_sidecar, found);
}

LocateStatus LocateInStream(FilePtr stream, bool as_sidecar, LocatedArchive* found) {
  if (!stream) return LocateStatus::kNoFile;
  return MeasureArchive(std::move(stream), as_sidecar, found);
}

bool CarriesSignedArchive(std::FILE* exe) {
  if (!exe || std::fseek(exe, 0, SEEK_END) != 0) return false;
  const long size = std::ftell(exe);
  if (size < 0 || size > kArchiveLimit) return false;
  StreamSource source(exe);
  return HasSignedTrailer(source, size);
}

LocateStatus LocateOwnArchiveIn(FilePtr exe, FilePtr sidecar, LocatedArchive* found) {
  // Otherwise the side-car wins whenever it opens, even beside an executable with its own
  // archive; beside a signed one, a dropped file would be installed under its signature.
  if (sidecar && !CarriesSignedArchive(exe.get())) return MeasureArchive(std::move(sidecar), true, found);
  return LocateInStream(std::move(exe), false, found);
}

LocateStatus LocateArchive(const char* exe_path, LocatedArchive* found) {
  const std::string sidecar = SidecarPathFor(exe_path);
  return LocateOwnArchiveIn(FilePtr(std::fopen(exe_path, "rb")), FilePtr(std::fopen(sidecar.c_str(), "rb")), found);
}
