// An archive split over volumes: the first volume (the setup program's own archive or the
// side-car) holds the entries' first bytes, every setup file among them, and a table of the
// further volumes, instdat.002, instdat.003, ... beside it, which hold the rest of the same
// entry stream cut wherever a volume is full. The table gives each further volume's size and
// SHA-256; being in the first volume, it lies inside a signed setup's signed range.
//
//   P zero bytes        padding, so that a signed setup's table and trailer end aligned
//   count x { u64 size, 32-byte SHA-256 }
//   u32 P, u32 count, 8 bytes kVolumeMagic
//
// An archive of one volume carries no table: its last bytes before any padding are the end
// marker's two zero bytes, which the magic's last byte never matches.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_file.h"

constexpr unsigned char kVolumeMagic[8] = {'P', 'V', 'V', 'O', 'L', 'S', '1', 0x1A};
// instdat.002 to instdat.999.
constexpr int kFirstFurtherVolume = 2;
constexpr int kLastVolume = 999;
constexpr std::size_t kVolumeRecordBytes = 8 + kDigestBytes;
constexpr std::size_t kVolumeTableFixedBytes = 16;
constexpr std::uint32_t kMaxVolumePadding = 7;

struct VolumeRecord {
  std::int64_t size = 0;
  std::array<unsigned char, kDigestBytes> digest{};
};

// "instdat.002" for 2.
std::string VolumeName(int number);

// The table as stored, for the records of volumes 2, 3, ... in order.
std::vector<unsigned char> EncodeVolumeTable(const std::vector<VolumeRecord>& volumes, std::uint32_t padding);
// Bytes of that table.
std::int64_t VolumeTableBytes(std::size_t volumes, std::uint32_t padding);

enum class VolumeTable { kNone, kFound, kBad };

// Reads the table that ends `region_end` bytes into `file`, which holds the entries from
// `region_start`. kFound gives the records and the table's size; kBad is a table whose
// counts do not fit the region, or a volume of a negative size.
VolumeTable ReadVolumeTable(ByteSource& file, std::int64_t region_start, std::int64_t region_end,
                            std::vector<VolumeRecord>* volumes, std::int64_t* table_bytes);
