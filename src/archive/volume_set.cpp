#include "archive/volume_set.h"

#include <cstdio>
#include <cstring>

#include "common/byte_order.h"
#include "common/setup_names.h"

std::string VolumeName(int number) {
  char name[16];
  std::snprintf(name, sizeof name, "%s%03d", kVolumeStem, number);
  return name;
}

std::int64_t VolumeTableBytes(std::size_t volumes, std::uint32_t padding) {
  return static_cast<std::int64_t>(padding) + static_cast<std::int64_t>(volumes * kVolumeRecordBytes) +
         static_cast<std::int64_t>(kVolumeTableFixedBytes);
}

std::vector<unsigned char> EncodeVolumeTable(const std::vector<VolumeRecord>& volumes, std::uint32_t padding) {
  std::vector<unsigned char> table(static_cast<std::size_t>(VolumeTableBytes(volumes.size(), padding)));
  unsigned char* p = table.data() + padding;
  for (const VolumeRecord& volume : volumes) {
    StoreU64(p, static_cast<std::uint64_t>(volume.size));
    std::memcpy(p + 8, volume.digest.data(), kDigestBytes);
    p += kVolumeRecordBytes;
  }
  StoreU32(p, padding);
  StoreU32(p + 4, static_cast<std::uint32_t>(volumes.size()));
  std::memcpy(p + 8, kVolumeMagic, sizeof kVolumeMagic);
  return table;
}

VolumeTable ReadVolumeTable(ByteSource& file, std::int64_t region_start, std::int64_t region_end,
                            std::vector<VolumeRecord>* volumes, std::int64_t* table_bytes) {
  volumes->clear();
  const std::int64_t region = region_end - region_start;
  unsigned char tail[kVolumeTableFixedBytes];
  if (region < static_cast<std::int64_t>(sizeof tail) ||
      !file.ReadAt(region_end - static_cast<std::int64_t>(sizeof tail), tail, sizeof tail) ||
      std::memcmp(tail + 8, kVolumeMagic, sizeof kVolumeMagic) != 0) {
    return VolumeTable::kNone;
  }
  const std::uint32_t padding = LoadU32(tail);
  const std::uint32_t count = LoadU32(tail + 4);
  if (padding > kMaxVolumePadding || count < 1 || count > kLastVolume - 1) return VolumeTable::kBad;
  const std::int64_t bytes = VolumeTableBytes(count, padding);
  if (bytes > region) return VolumeTable::kBad;
  std::vector<unsigned char> records(count * kVolumeRecordBytes);
  if (!file.ReadAt(region_end - bytes + padding, records.data(), records.size())) return VolumeTable::kBad;
  for (std::uint32_t i = 0; i < count; ++i) {
    const unsigned char* p = records.data() + i * kVolumeRecordBytes;
    VolumeRecord volume;
    const std::uint64_t size = LoadU64(p);
    if (size > static_cast<std::uint64_t>(INT64_MAX)) return VolumeTable::kBad;
    volume.size = static_cast<std::int64_t>(size);
    std::memcpy(volume.digest.data(), p + 8, kDigestBytes);
    volumes->push_back(volume);
  }
  *table_bytes = bytes;
  return VolumeTable::kFound;
}
