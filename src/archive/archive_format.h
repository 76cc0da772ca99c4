// Byte format of the payload archive: a run of entries read front to back, closed by a
// zero name length. Integers are little-endian; there is no magic, index or checksum
// beyond the Adler-32 that ends each file's zlib stream.
//
//   u16 N        name length counting its NUL; 0 is the end marker
//   N bytes      CP932 name relative to the target folder, '\\'-separated, NUL last
//   i32 size     uncompressed size, -1 for a folder entry
//   u32 D        zlib stream length, 0xFFFFFFFF for a folder entry
//   u64 time     file entries only: last-write time as a FILETIME
//   D bytes      file entries only: one zlib stream (78 9C at the default level)
//
// Appended to an executable the archive is followed by a u32 trailer holding the file
// offset of its first entry; the side-car instdat.arc holds it from byte 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/setup_names.h"  // kSidecarName, kSetupPatterns

// Extraction buffers, the largest single read, and the unit of every progress bar.
constexpr std::int32_t kBlockSize = 0x20000;

constexpr std::int32_t kFolderSize = -1;
constexpr std::uint32_t kFolderPacked = 0xFFFFFFFFu;

// The name and the joined output path each live in a 260-byte buffer in the program.
constexpr std::size_t kNameBuffer = 260;

// The header common to both entry kinds: name length, name, size, packed size.
constexpr std::uint32_t kEntryFixedBytes = 10;
constexpr std::uint32_t kTimeBytes = 8;
constexpr std::uint32_t kTrailerBytes = 4;

// An entry's size and packed size stay below 2^31; the archive as a whole may be any size.
constexpr std::int64_t kEntryLimit = 0x7FFFFFFF;

// FILETIME ticks (100 ns) between 1601-01-01 and the Unix epoch.
constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;
