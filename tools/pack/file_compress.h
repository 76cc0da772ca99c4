// How the packer turns a file it holds whole into one zlib stream: with libdeflate in the
// Linux build (file_compress_libdeflate.cpp), with zlib in the Windows build, for which no
// libdeflate is packaged (file_compress_zlib.cpp). The two builds therefore write different
// (equally valid) bytes; each build's output depends only on the input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Files up to this size are compressed whole in memory by the workers; larger ones are
// streamed with zlib by the writer (build_write.cpp), so no whole large file is ever held.
extern const std::uint64_t kWholeFileLimit;

// Compresses what `in` holds (about `expected_size` bytes) as one zlib stream;
// *input_size gets the bytes read. False with a short reason ("read error", ...).
// Throws std::bad_alloc where memory runs out.
bool CompressWholeFile(std::FILE* in, std::uint64_t expected_size, std::vector<unsigned char>* stream,
                       std::uint64_t* input_size, std::string* error);
bool CompressWholeBuffer(const unsigned char* data, std::size_t size, std::vector<unsigned char>* stream);
