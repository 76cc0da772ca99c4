// The Windows build's whole-file compression: zlib at its default level, read in pieces.
#include <new>

#include "archive/archive_writer.h"
#include "file_compress.h"

// The 32-bit tool has little address space to spare: only small files are held.
const std::uint64_t kWholeFileLimit = 8u << 20;

bool CompressWholeFile(std::FILE* in, std::uint64_t /*expected_size*/, std::vector<unsigned char>* stream,
                       std::uint64_t* input_size, std::string* error) {
  if (CompressFile(in, stream, input_size)) return true;
  *error = std::ferror(in) ? "read error" : "compression failed";
  return false;
}

bool CompressWholeBuffer(const unsigned char* data, std::size_t size, std::vector<unsigned char>* stream) {
  return CompressStream(data, size, stream);
}
