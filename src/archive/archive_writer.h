// Writing payload archives: entry encoding, the zlib streams, the end marker and the
// trailer. The order the entries go in is entry_order.h's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "archive/entry_order.h"

// Compresses a whole input as one zlib stream at the default level (header 78 9C).
bool CompressStream(const unsigned char* data, std::size_t size, std::vector<unsigned char>* stream);

// Appends an entry's header (name length, name, NUL, size, packed size): false for a name
// outside the format.
bool EncodeEntryHeader(std::string_view name, std::int32_t size, std::uint32_t packed,
                       std::vector<unsigned char>* out);

// Each returns false on a write error or a name/size outside the format.
bool WriteFolderEntry(std::FILE* out, std::string_view name);
bool WriteFileEntry(std::FILE* out, std::string_view name, std::int32_t size, std::uint64_t filetime,
                    const std::vector<unsigned char>& stream);
// Four zero bytes: the zero name length and two bytes of padding.
bool WriteEndMarker(std::FILE* out);
// The u32 file offset of the archive's first entry, appended after the end marker.
bool WriteTrailer(std::FILE* out, std::uint32_t start_offset);

std::uint64_t FiletimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds);
