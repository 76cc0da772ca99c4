#include "archive/archive_reader.h"

#include <cstring>

#include "archive/archive_format.h"
#include "archive/signed_image.h"
#include "common/cp932.h"

namespace {

bool ReadBytes(std::FILE* in, void* data, std::size_t size) {
  return std::fread(data, 1, size, in) == size;
}

std::uint32_t LoadU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Windows opens a device, not a file, for these names whatever the extension or folder.
bool IsDeviceName(std::string_view component) {
  const std::size_t dot = component.find('.');
  std::string base = LowerMb(component.substr(0, dot));
  while (!base.empty() && (base.back() == ' ')) base.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0)) {
    return base[3] >= '0' && base[3] <= '9';
  }
  return false;
}

// ".", ".." and the forms Windows trims to them ("... ", ". .").
bool IsDotsAndSpaces(std::string_view component) {
  return component.find_first_not_of(". ") == std::string_view::npos;
}

}  // namespace

std::uint32_t EntryHeader::HeaderBytes() const {
  return static_cast<std::uint32_t>(name.size()) + 1 + kEntryFixedBytes;
}

HeaderStatus ReadEntryHeader(std::FILE* in, EntryHeader* entry) {
  unsigned char length_bytes[2];
  if (!ReadBytes(in, length_bytes, 2)) return HeaderStatus::kShort;
  const std::size_t n = length_bytes[0] | (length_bytes[1] << 8);
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

const char* CheckEntryName(std::string_view name, bool folder) {
  if (name.empty()) return "empty name";
  if (name.size() > kPathMaxText) return "name longer than 259 bytes";
  std::size_t start = 0;
  for (std::size_t i = 0;; i += CharLengthAt(name, i)) {
    const bool end = i >= name.size();
    if (!end) {
      const unsigned char c = static_cast<unsigned char>(name[i]);
      if (c < 0x20 || c == 0x7F) return "control character in name";
      if (c == '/') return "'/' in name";
      if (c == ':') return "':' in name (drive or stream)";
      // A lead byte must be followed by a valid trail byte, or Windows could read the pair
      // differently and see a separator or a dot where this check saw none.
      if (IsLeadByte(c)) {
        const unsigned char t = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
        if (t < 0x40 || t == 0x7F || t > 0xFC) return "invalid double-byte character";
      }
    }
    if (end || name[i] == '\\') {
      const std::string_view component = name.substr(start, i - start);
      if (component.empty()) {
        // Only a folder's closing backslash leaves an empty last component.
        if (!(end && folder && start > 0)) {
          return start == 0 ? "name starts with a backslash" : "empty path component";
        }
      } else if (IsDotsAndSpaces(component)) {
        return "'.' or '..' component";
      } else if (IsDeviceName(component)) {
        return "device name component";
      }
      if (end) break;
      start = i + 1;
    }
  }
  return nullptr;
}

bool JoinOutputPath(std::string_view target, std::string_view name, std::string* path) {
  if (target.size() + 1 + name.size() > kPathMaxText) return false;
  path->assign(target);
  path->push_back('\\');
  path->append(name);
  return true;
}

bool IsSetupFile(std::string_view name, std::string_view pattern) {
  const std::string lower_name = LowerMb(name.substr(0, kPathMaxText));
  const std::string lower_pattern = LowerMb(pattern.substr(0, kPathMaxText));
  return FindSubstrMb(lower_name, lower_pattern) != std::string_view::npos;
}

bool MatchesAnySetupPattern(std::string_view name) {
  for (const char* pattern : kSetupPatterns) {
    if (IsSetupFile(name, pattern)) return true;
  }
  return false;
}

bool IsNestedFolderName(std::string_view name) {
  const std::size_t slash = FindCharMb(name, '\\');
  return slash != std::string_view::npos && slash + 1 < name.size();
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

LocateStatus LocateArchive(const char* exe_path, LocatedArchive* found) {
  // The side-car wins whenever it opens, even beside an executable with its own archive.
  const std::string sidecar = SidecarPathFor(exe_path);
  if (FilePtr stream{std::fopen(sidecar.c_str(), "rb")}) return MeasureArchive(std::move(stream), true, found);
  return OpenArchiveFile(exe_path, false, found);
}
