// How the packer deflates: with libdeflate in the Linux build (file_compress_libdeflate.cpp),
// with zlib in the Windows build, for which no libdeflate is packaged (file_compress_zlib.cpp).
// The two builds therefore write different (equally valid) bytes; each build's output
// depends only on the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Files up to this size are compressed whole in memory by the workers; larger ones are cut
// into chunks that the workers compress side by side (build_write.cpp), so no whole large
// file is ever held.
extern const std::uint64_t kWholeFileLimit;

// Compresses a whole input as one zlib stream at level 6 (header 78 9C). Throws
// std::bad_alloc where memory runs out.
bool CompressWholeBuffer(const unsigned char* data, std::size_t size, std::vector<unsigned char>* stream);

// How many bytes before a chunk CompressChunk refers back to (0: none).
extern const std::size_t kChunkWindow;
// Appends one chunk of a large file as raw deflate at level 6; `data` is preceded in memory
// by the `window` (at most kChunkWindow) bytes of the file before it. A chunk other than
// the last ends on a byte boundary without a final block, so that the chunks joined in
// order make one stream (zlib_streams.h). Throws std::bad_alloc where memory runs out.
bool CompressChunk(const unsigned char* data, std::size_t size, std::size_t window, bool last,
                   std::vector<unsigned char>* out);
