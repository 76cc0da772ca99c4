#include "archive/archive_writer.h"

#include <zlib.h>

#include <algorithm>

#include "archive/archive_format.h"
#include "archive/entry_names.h"
#include "common/byte_order.h"

namespace {

bool WriteAll(std::FILE* out, const void* data, std::size_t size) {
  return size == 0 || std::fwrite(data, 1, size, out) == size;
}

bool WriteHeader(std::FILE* out, std::string_view name, std::int32_t size, std::uint32_t packed) {
  std::vector<unsigned char> header;
  return EncodeEntryHeader(name, size, packed, &header) && WriteAll(out, header.data(), header.size());
}

struct Deflater {
  z_stream stream{};
  bool open = false;
  ~Deflater() {
    if (open) deflateEnd(&stream);
  }
};

// Feeds one piece of input; `finish` closes the stream.
bool DeflatePiece(z_stream& zs, const unsigned char* data, std::size_t size, bool finish,
                  std::vector<unsigned char>* stream) {
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = static_cast<uInt>(size);
  for (;;) {
    const std::size_t used = stream->size();
    const std::size_t room = std::max<std::size_t>(deflateBound(&zs, zs.avail_in), 1 << 16);
    stream->resize(used + room);
    zs.next_out = stream->data() + used;
    zs.avail_out = static_cast<uInt>(room);
    const int result = deflate(&zs, finish ? Z_FINISH : Z_NO_FLUSH);
    stream->resize(used + (room - zs.avail_out));
    if (result == Z_STREAM_END) return true;
    if (result != Z_OK && result != Z_BUF_ERROR) return false;
    if (!finish && zs.avail_in == 0 && zs.avail_out > 0) return true;
  }
}

}  // namespace

bool EncodeEntryHeader(std::string_view name, std::int32_t size, std::uint32_t packed,
                       std::vector<unsigned char>* out) {
  if (CheckEntryName(name, size == kFolderSize)) return false;
  unsigned char fixed[8];
  StoreU16(fixed, static_cast<std::uint16_t>(name.size() + 1));
  out->insert(out->end(), fixed, fixed + 2);
  out->insert(out->end(), name.begin(), name.end());
  out->push_back(0);
  StoreU32(fixed, static_cast<std::uint32_t>(size));
  StoreU32(fixed + 4, packed);
  out->insert(out->end(), fixed, fixed + 8);
  return true;
}

bool CompressStream(const unsigned char* data, std::size_t size, std::vector<unsigned char>* stream) {
  stream->clear();
  Deflater deflater;
  if (deflateInit(&deflater.stream, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
  deflater.open = true;
  // zlib counts input in 32-bit units; feed large inputs in pieces.
  constexpr std::size_t kPiece = 1u << 30;
  do {
    const std::size_t n = std::min(size, kPiece);
    if (!DeflatePiece(deflater.stream, data, n, n == size, stream)) return false;
    data += n;
    size -= n;
  } while (size > 0);
  return true;
}

bool WriteFolderEntry(std::FILE* out, std::string_view name) {
  return WriteHeader(out, name, kFolderSize, kFolderPacked);
}

bool WriteFileEntry(std::FILE* out, std::string_view name, std::int32_t size, std::uint64_t filetime,
                    const std::vector<unsigned char>& stream) {
  if (size < 0 || stream.size() > static_cast<std::size_t>(kEntryLimit)) return false;
  unsigned char stamp[8];
  StoreU64(stamp, filetime);
  return WriteHeader(out, name, size, static_cast<std::uint32_t>(stream.size())) && WriteAll(out, stamp, 8) &&
         WriteAll(out, stream.data(), stream.size());
}

bool WriteEndMarker(std::FILE* out) {
  const unsigned char zeros[4] = {0, 0, 0, 0};
  return WriteAll(out, zeros, 4);
}

bool WriteTrailer(std::FILE* out, std::uint32_t start_offset) {
  unsigned char trailer[4];
  StoreU32(trailer, start_offset);
  return WriteAll(out, trailer, 4);
}

std::uint64_t FiletimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds) {
  const std::int64_t ticks = seconds * static_cast<std::int64_t>(kTicksPerSecond) + nanoseconds / 100;
  const std::int64_t filetime = ticks + static_cast<std::int64_t>(kUnixEpochTicks);
  return filetime < 0 ? 0 : static_cast<std::uint64_t>(filetime);
}
