#include "archive/signed_image.h"

#include <algorithm>

#include "archive/archive_format.h"

namespace {

// Offsets into the headers (PE/COFF layout).
constexpr std::size_t kDosHeaderBytes = 64;
constexpr std::size_t kNewHeaderOffsetAt = 0x3C;
constexpr std::size_t kFileHeaderBytes = 24;  // "PE\0\0" and the COFF header
constexpr std::size_t kSectionCountAt = 6;
constexpr std::size_t kSymbolTableAt = 12;
constexpr std::size_t kSymbolCountAt = 16;
constexpr std::int64_t kSymbolBytes = 18;
constexpr std::size_t kOptionalSizeAt = 20;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kOptionalHeaderMax = 240;  // PE32+ with all sixteen directories
constexpr std::uint32_t kSecurityDirectory = 4;
constexpr std::size_t kDirectoryBytes = 8;
constexpr std::size_t kSectionHeaderBytes = 40;
constexpr std::size_t kMaxSections = 96;  // the loader's own limit

std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

namespace {

// The COFF file header and the optional header, as far as they are read.
struct ImageHeaders {
  unsigned char file[kFileHeaderBytes];
  unsigned char optional[kOptionalHeaderMax] = {};
  std::int64_t optional_at = 0;
  std::size_t optional_size = 0;  // as the file header states it
  std::size_t optional_read = 0;  // what of it fits the buffer
  std::size_t sections = 0;
};

bool ReadHeaders(ByteSource& file, std::int64_t file_size, ImageHeaders* headers) {
  unsigned char dos[kDosHeaderBytes];
  if (file_size < static_cast<std::int64_t>(kDosHeaderBytes) || !file.ReadAt(0, dos, sizeof dos)) return false;
  if (dos[0] != 'M' || dos[1] != 'Z') return false;
  const std::int64_t pe_at = U32(dos + kNewHeaderOffsetAt);
  unsigned char* const header = headers->file;
  if (pe_at + static_cast<std::int64_t>(kFileHeaderBytes) > file_size || !file.ReadAt(pe_at, header, kFileHeaderBytes)) {
    return false;
  }
  if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) return false;
  headers->sections = U16(header + kSectionCountAt);
  headers->optional_size = U16(header + kOptionalSizeAt);
  if (headers->sections > kMaxSections) return false;
  headers->optional_at = pe_at + static_cast<std::int64_t>(kFileHeaderBytes);
  headers->optional_read = std::min(headers->optional_size, sizeof headers->optional);
  return headers->optional_read >= 2 &&
         headers->optional_at + static_cast<std::int64_t>(headers->optional_size) <= file_size &&
         file.ReadAt(headers->optional_at, headers->optional, headers->optional_read);
}

// The certificate table's directory entry; false for an unknown optional header.
bool ReadCertificateDirectory(const ImageHeaders& headers, ImageLayout* layout) {
  std::size_t count_at = 0;
  std::size_t directories_at = 0;
  switch (U16(headers.optional)) {
    case kMagicPe32:
      count_at = 92;
      directories_at = 96;
      break;
    case kMagicPe32Plus:
      count_at = 108;
      directories_at = 112;
      break;
    default:
      return false;
  }
  const std::size_t security_at = directories_at + kSecurityDirectory * kDirectoryBytes;
  if (security_at + kDirectoryBytes <= headers.optional_read && U32(headers.optional + count_at) > kSecurityDirectory) {
    // The one directory whose address is a file offset, not a virtual address.
    layout->certificate_offset = U32(headers.optional + security_at);
    layout->certificate_size = U32(headers.optional + security_at + 4);
    if (layout->certificate_offset == 0) layout->certificate_size = 0;
  }
  return true;
}

// The end of the last section's raw data; false when the section table runs past the file.
bool ReadSectionsEnd(ByteSource& file, std::int64_t file_size, const ImageHeaders& headers, std::int64_t* end) {
  const std::int64_t table_at = headers.optional_at + static_cast<std::int64_t>(headers.optional_size);
  const std::size_t table_bytes = headers.sections * kSectionHeaderBytes;
  unsigned char table[kMaxSections * kSectionHeaderBytes];
  if (table_at + static_cast<std::int64_t>(table_bytes) > file_size ||
      (table_bytes > 0 && !file.ReadAt(table_at, table, table_bytes))) {
    return false;
  }
  for (std::size_t i = 0; i < headers.sections; ++i) {
    const unsigned char* section = table + i * kSectionHeaderBytes;
    const std::int64_t raw_size = U32(section + 16);
    const std::int64_t raw_at = U32(section + 20);
    if (raw_size > 0) *end = std::max(*end, raw_at + raw_size);
  }
  return true;
}

// An unstripped image keeps a COFF symbol table and its string table after the sections:
// still the program, not yet the archive.
void ExtendOverSymbols(ByteSource& file, std::int64_t file_size, const ImageHeaders& headers, std::int64_t* end) {
  const std::int64_t symbols_at = U32(headers.file + kSymbolTableAt);
  if (symbols_at <= 0) return;
  const std::int64_t strings_at = symbols_at + kSymbolBytes * U32(headers.file + kSymbolCountAt);
  unsigned char strings_size[4];
  if (strings_at + 4 <= file_size && file.ReadAt(strings_at, strings_size, sizeof strings_size)) {
    const std::int64_t symbols_end = strings_at + std::max<std::int64_t>(U32(strings_size), 4);
    if (symbols_end <= file_size) *end = std::max(*end, symbols_end);
  }
}

}  // namespace

bool ReadImageLayout(ByteSource& file, std::int64_t file_size, ImageLayout* layout) {
  ImageHeaders headers;
  ImageLayout result;
  if (!ReadHeaders(file, file_size, &headers) || !ReadCertificateDirectory(headers, &result) ||
      !ReadSectionsEnd(file, file_size, headers, &result.image_end)) {
    return false;
  }
  ExtendOverSymbols(file, file_size, headers, &result.image_end);
  *layout = result;
  return true;
}

namespace {

// The trailer in front of a certificate table that ends the file; false when there is none.
bool FindSignedTrailer(ByteSource& file, std::int64_t file_size, std::int64_t* trailer_at) {
  ImageLayout layout;
  if (file_size < static_cast<std::int64_t>(kTrailerBytes) || !ReadImageLayout(file, file_size, &layout) ||
      layout.certificate_size == 0 || layout.certificate_offset + layout.certificate_size != file_size) {
    return false;
  }
  // The trailer names the image's end as the archive's start; with the padding zero that
  // pins it down (a shorter padding would read the trailer shifted, a value it cannot equal).
  unsigned char tail[kTrailerBytes + kMaxCertificatePadding];
  for (std::int64_t padding = 0; padding <= kMaxCertificatePadding; ++padding) {
    const std::int64_t at = layout.certificate_offset - static_cast<std::int64_t>(kTrailerBytes) - padding;
    if (at < layout.image_end) break;
    if (!file.ReadAt(at, tail, kTrailerBytes + static_cast<std::size_t>(padding))) break;
    // Non-zero bytes there are no padding, nor can a longer padding include them.
    if (!std::all_of(tail + kTrailerBytes, tail + kTrailerBytes + padding, [](unsigned char b) { return b == 0; })) {
      break;
    }
    if (U32(tail) == layout.image_end) {
      *trailer_at = at;
      return true;
    }
  }
  return false;
}

}  // namespace

std::int64_t FindTrailerOffset(ByteSource& file, std::int64_t file_size) {
  std::int64_t at = 0;
  return FindSignedTrailer(file, file_size, &at) ? at : file_size - static_cast<std::int64_t>(kTrailerBytes);
}

bool HasSignedTrailer(ByteSource& file, std::int64_t file_size) {
  std::int64_t at = 0;
  return FindSignedTrailer(file, file_size, &at);
}
