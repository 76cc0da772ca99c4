#include "pe_signature.h"

#include <algorithm>
#include <vector>

#include "common/byte_order.h"
#include "platform.h"

namespace {

bool ReadAt(std::FILE* file, std::int64_t offset, unsigned char* data, std::size_t size) {
  return SeekFile(file, offset, SEEK_SET) && std::fread(data, 1, size, file) == size;
}

constexpr std::size_t kSecurityDirectory = 4;  // index among the data directories
constexpr std::uint32_t kPe32 = 0x10B, kPe32Plus = 0x20B;

}  // namespace

bool ReadPeLayout(std::FILE* file, PeLayout* layout) {
  *layout = PeLayout();
  unsigned char dos[64];
  if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  const std::int64_t pe = LoadU32(dos + 0x3C);
  unsigned char headers[24];  // "PE\0\0" and the COFF header
  if (!ReadAt(file, pe, headers, sizeof headers) || headers[0] != 'P' || headers[1] != 'E' || headers[2] != 0 ||
      headers[3] != 0) {
    return false;
  }
  const std::uint32_t sections = LoadU16(headers + 6);
  const std::uint32_t optional_size = LoadU16(headers + 20);
  std::vector<unsigned char> optional(optional_size);
  if (optional_size < 2 || !ReadAt(file, pe + 24, optional.data(), optional.size())) return false;
  const std::uint32_t magic = LoadU16(optional.data());
  if (magic != kPe32 && magic != kPe32Plus) return false;
  const std::size_t count_at = magic == kPe32 ? 92 : 108;
  const std::size_t directory_at = count_at + 4 + 8 * kSecurityDirectory;
  if (optional.size() >= directory_at + 8 && LoadU32(&optional[count_at]) > kSecurityDirectory) {
    layout->certificate_offset = LoadU32(&optional[directory_at]);
    layout->certificate_size = LoadU32(&optional[directory_at + 4]);
    if (layout->certificate_size == 0) layout->certificate_offset = 0;
  }
  std::vector<unsigned char> table(40 * static_cast<std::size_t>(sections));
  if (!table.empty() && !ReadAt(file, pe + 24 + optional_size, table.data(), table.size())) return false;
  for (std::uint32_t i = 0; i < sections; ++i) {
    const unsigned char* section = &table[40 * i];
    const std::int64_t end = std::int64_t{LoadU32(section + 20)} + LoadU32(section + 16);
    if (LoadU32(section + 16) != 0) layout->image_end = std::max(layout->image_end, end);
  }
  return true;
}
