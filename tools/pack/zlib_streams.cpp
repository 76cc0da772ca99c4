#include "zlib_streams.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

namespace {

constexpr std::size_t kStoredBlock = 65535;

void AppendU16(std::vector<unsigned char>* out, unsigned value) {
  out->push_back(static_cast<unsigned char>(value & 0xFF));
  out->push_back(static_cast<unsigned char>(value >> 8));
}

struct Deflater {
  z_stream zs{};
  bool open = false;
  ~Deflater() {
    if (open) deflateEnd(&zs);
  }
};

struct Inflater {
  z_stream zs{};
  bool open = false;
  ~Inflater() {
    if (open) inflateEnd(&zs);
  }
};

}  // namespace

std::uint64_t StoredStreamSize(std::uint64_t size) {
  const std::uint64_t blocks = size == 0 ? 1 : (size + kStoredBlock - 1) / kStoredBlock;
  return sizeof kZlibHeader + size + 5 * blocks + 4;
}

void AppendStoredBlocks(const unsigned char* data, std::size_t size, bool last, std::vector<unsigned char>* out) {
  if (size == 0 && !last) return;
  out->reserve(out->size() + size + 5 * (size / kStoredBlock + 1));
  do {
    const std::size_t n = std::min(size, kStoredBlock);
    // At a byte boundary the block's three header bits (final flag, type 00) and the
    // padding after them make one byte.
    out->push_back(last && n == size ? 1 : 0);
    AppendU16(out, static_cast<unsigned>(n));
    AppendU16(out, static_cast<unsigned>(~n & 0xFFFF));
    out->insert(out->end(), data, data + n);
    data += n;
    size -= n;
  } while (size > 0);
}

void MakeStoredStream(const unsigned char* data, std::size_t size, std::vector<unsigned char>* stream) {
  stream->assign(kZlibHeader, kZlibHeader + sizeof kZlibHeader);
  AppendStoredBlocks(data, size, true, stream);
  AppendAdler32(Adler32Update(1, data, size), stream);
}

std::uint32_t Adler32Update(std::uint32_t adler, const unsigned char* data, std::size_t size) {
  uLong value = adler;
  while (size > 0) {  // zlib counts in 32-bit units
    const std::size_t n = std::min<std::size_t>(size, 1u << 30);
    value = adler32(value, data, static_cast<uInt>(n));
    data += n;
    size -= n;
  }
  return static_cast<std::uint32_t>(value);
}

void AppendAdler32(std::uint32_t adler, std::vector<unsigned char>* out) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<unsigned char>(adler >> shift));
}

bool DeflateChunkZlib(const unsigned char* data, std::size_t size, std::size_t window, bool last,
                      std::vector<unsigned char>* out) {
  if (size > UINT_MAX / 2 || window > 32768) return false;
  Deflater deflater;
  z_stream& zs = deflater.zs;
  const int init = deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  if (init == Z_MEM_ERROR) throw std::bad_alloc();
  if (init != Z_OK) return false;
  deflater.open = true;
  if (window > 0 && deflateSetDictionary(&zs, data - window, static_cast<uInt>(window)) != Z_OK) return false;
  zs.next_in = const_cast<Bytef*>(data);  // zlib's input pointer is not const
  zs.avail_in = static_cast<uInt>(size);
  std::size_t used = out->size();
  // The bound covers the whole chunk; a sync flush may want a few bytes more, hence the loop.
  std::size_t room = deflateBound(&zs, static_cast<uLong>(size)) + 16;
  for (;;) {
    out->resize(used + room);
    zs.next_out = out->data() + used;
    zs.avail_out = static_cast<uInt>(room);
    const int result = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
    used += room - zs.avail_out;
    if (result == Z_STREAM_END) break;
    if (result != Z_OK && result != Z_BUF_ERROR) return false;
    if (!last && zs.avail_in == 0 && zs.avail_out > 0) break;
    room = 1u << 16;
  }
  out->resize(used);
  return true;
}

bool EndWithoutFinalBlock(std::vector<unsigned char>* out, std::size_t from) {
  const std::size_t size = out->size() - from;
  if (size == 0 || size > UINT_MAX) return false;
  Inflater inflater;
  z_stream& zs = inflater.zs;
  const int init = inflateInit2(&zs, -15);
  if (init == Z_MEM_ERROR) throw std::bad_alloc();
  if (init != Z_OK) return false;
  inflater.open = true;
  unsigned char* const data = out->data() + from;
  zs.next_in = data;
  zs.avail_in = static_cast<uInt>(size);
  std::vector<unsigned char> sink(1u << 16);  // inflate keeps its own window: the output is dropped
  // With Z_BLOCK inflate stops at every block boundary; data_type then holds the bits left
  // in the last byte it took, 128, and 64 once the final block's header has been read.
  std::uint64_t final_start = 0;  // bit position of the final block's header
  std::uint64_t end = 0;
  for (;;) {
    zs.next_out = sink.data();
    zs.avail_out = static_cast<uInt>(sink.size());
    if (inflate(&zs, Z_BLOCK) != Z_OK) return false;
    if (zs.data_type & 128) {
      const std::uint64_t at = static_cast<std::uint64_t>(zs.next_in - data) * 8 - (zs.data_type & 7);
      if (zs.data_type & 64) {
        end = at;
        break;
      }
      final_start = at;
    }
  }
  if (zs.avail_in != 0) return false;  // bytes after the stream
  data[final_start / 8] &= static_cast<unsigned char>(~(1u << (final_start % 8)));
  const unsigned spare = static_cast<unsigned>(size * 8 - end);  // padding bits in the last byte
  if (spare > 0) data[size - 1] &= static_cast<unsigned char>((1u << (8 - spare)) - 1);
  // The empty stored block: three zero header bits (a new byte when they do not fit in the
  // padding), zero bits up to the byte boundary, then LEN 0 and NLEN 0xFFFF.
  if (spare < 3) out->push_back(0);
  static const unsigned char kEmpty[4] = {0x00, 0x00, 0xFF, 0xFF};
  out->insert(out->end(), kEmpty, kEmpty + 4);
  return true;
}
