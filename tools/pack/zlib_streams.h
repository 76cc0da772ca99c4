// The pieces of zlib streams that both builds of the packer put together themselves:
// streams of stored blocks for what deflate cannot shrink, and the raw deflate chunks that
// the workers cut a large file into. Chunks joined in order after the zlib header, followed
// by the Adler-32 of the whole input, make one standard zlib stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The zlib header of the default level, which every entry's stream starts with.
constexpr unsigned char kZlibHeader[2] = {0x78, 0x9C};

// Length of the zlib stream that holds `size` bytes in stored blocks (of up to 65535 bytes).
std::uint64_t StoredStreamSize(std::uint64_t size);
// Appends `size` bytes as stored blocks; `last` sets the final flag on the last one (an empty
// input is then one empty final block, and nothing when not last).
void AppendStoredBlocks(const unsigned char* data, std::size_t size, bool last, std::vector<unsigned char>* out);
// Replaces *stream with the stored zlib stream of the input (StoredStreamSize(size) bytes).
void MakeStoredStream(const unsigned char* data, std::size_t size, std::vector<unsigned char>* stream);

std::uint32_t Adler32Update(std::uint32_t adler, const unsigned char* data, std::size_t size);
// Appends the big-endian Adler-32 that ends a zlib stream.
void AppendAdler32(std::uint32_t adler, std::vector<unsigned char>* out);

// Appends one chunk of a larger input as raw deflate at level 6 with zlib, primed with the
// `window` bytes (at most 32 KiB) that precede `data` in memory. A chunk other than the last
// ends on a byte boundary without a final block (a sync flush); the last one ends the stream.
bool DeflateChunkZlib(const unsigned char* data, std::size_t size, std::size_t window, bool last,
                      std::vector<unsigned char>* out);
// Turns the complete raw deflate stream at (*out)[from..] into a chunk that is not the last:
// clears its final block's flag and appends an empty stored block, which ends on a byte
// boundary. zlib's inflate finds where the final block starts and where it ends. False for
// data that is not one complete raw deflate stream.
bool EndWithoutFinalBlock(std::vector<unsigned char>* out, std::size_t from);
