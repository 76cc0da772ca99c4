// The Linux build's compression: libdeflate, which has no streaming interface, compresses a
// buffer several times faster than zlib does, whole files and the chunks of large ones.
#include <libdeflate.h>

#include <memory>
#include <mutex>
#include <new>

#include "file_compress.h"
#include "zlib_streams.h"

// Level 6 is barely slower than the fastest levels on game data and writes archives no
// larger than `zip -6` does; it is also the level whose zlib header is 78 9C.
constexpr int kLevel = 6;

// Large enough for the big packed data files games ship, small enough that the workers
// (their files count against the in-flight budget) hold a bounded amount: a file costs its
// size twice while it is compressed (input and output), once afterwards.
const std::uint64_t kWholeFileLimit = 32u << 20;

// libdeflate takes no dictionary: each chunk starts afresh, which costs less than libdeflate
// gains over zlib on the rest of it.
const std::size_t kChunkWindow = 0;

namespace {

// libdeflate allocates through operator new, so the tool's allocation test hook and
// std::bad_alloc cover it like every other allocation.
void* Allocate(std::size_t size) {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void Free(void* p) { ::operator delete(p); }

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// A compressor is not thread-safe and costs about a megabyte to set up: one per thread.
libdeflate_compressor* ThreadCompressor() {
  static std::once_flag hooked;
  std::call_once(hooked, [] { libdeflate_set_memory_allocator(Allocate, Free); });
  thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
  if (!compressor) compressor.reset(libdeflate_alloc_compressor(kLevel));
  if (!compressor) throw std::bad_alloc();
  return compressor.get();
}

}  // namespace

bool CompressWholeBuffer(const unsigned char* data, std::size_t size, std::vector<unsigned char>* stream) {
  libdeflate_compressor* compressor = ThreadCompressor();
  stream->resize(libdeflate_zlib_compress_bound(compressor, size));
  const std::size_t n = libdeflate_zlib_compress(compressor, data, size, stream->data(), stream->size());
  stream->resize(n);
  return n != 0;  // the bound always suffices
}

// libdeflate cannot stop short of a final block, so inflate finds that block in the chunk
// and EndWithoutFinalBlock turns it into a block that the next chunk follows.
bool CompressChunk(const unsigned char* data, std::size_t size, std::size_t /*window*/, bool last,
                   std::vector<unsigned char>* out) {
  libdeflate_compressor* compressor = ThreadCompressor();
  const std::size_t from = out->size();
  out->resize(from + libdeflate_deflate_compress_bound(compressor, size));
  const std::size_t n = libdeflate_deflate_compress(compressor, data, size, out->data() + from, out->size() - from);
  out->resize(from + n);
  return n != 0 && (last || EndWithoutFinalBlock(out, from));
}
