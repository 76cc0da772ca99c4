// The Linux build's whole-file compression: libdeflate, which has no streaming interface,
// compresses a file held in memory several times faster than zlib does.
#include <libdeflate.h>

#include <memory>
#include <mutex>
#include <new>

#include "file_compress.h"

// Level 6 is barely slower than the fastest levels on game data and writes archives no
// larger than `zip -6` does; it is also the level whose zlib header is 78 9C.
constexpr int kLevel = 6;

// Large enough for the big packed data files games ship, small enough that the workers
// (their files count against the in-flight budget) hold a bounded amount: a file costs its
// size twice while it is compressed (input and output), once afterwards.
const std::uint64_t kWholeFileLimit = 32u << 20;

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

bool CompressWholeFile(std::FILE* in, std::uint64_t expected_size, std::vector<unsigned char>* stream,
                       std::uint64_t* input_size, std::string* error) {
  // One byte more than expected, so that a file that grew since the scan is read to its end.
  std::vector<unsigned char> data(static_cast<std::size_t>(expected_size) + 1);
  std::size_t used = 0;
  for (;;) {
    used += std::fread(data.data() + used, 1, data.size() - used, in);
    if (std::ferror(in)) {
      *error = "read error";
      return false;
    }
    if (used < data.size()) break;
    data.resize(data.size() + (1u << 20));
  }
  *input_size = used;
  if (!CompressWholeBuffer(data.data(), used, stream)) {
    *error = "compression failed";
    return false;
  }
  return true;
}
