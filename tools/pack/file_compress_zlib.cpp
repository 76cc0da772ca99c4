// The Windows build's compression: zlib at level 6.
#include "archive/archive_writer.h"
#include "file_compress.h"
#include "zlib_streams.h"

// The 32-bit tool has little address space to spare: only small files are held.
const std::uint64_t kWholeFileLimit = 8u << 20;

// Each chunk is primed with the 32 KiB before it, so the chunks compress as one stream would.
const std::size_t kChunkWindow = 32768;

bool CompressWholeBuffer(const unsigned char* data, std::size_t size, std::vector<unsigned char>* stream) {
  return CompressStream(data, size, stream);
}

bool CompressChunk(const unsigned char* data, std::size_t size, std::size_t window, bool last,
                   std::vector<unsigned char>* out) {
  return DeflateChunkZlib(data, size, window, last, out);
}
