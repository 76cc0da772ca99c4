// The setup program read as a PE image: where its sections end and whether a certificate
// table (an Authenticode signature) follows them, so the trailer is found in front of the
// table rather than read from the signature's last bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Random access to a file's bytes.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Exactly `size` bytes at `offset`, or false.
  virtual bool ReadAt(std::int64_t offset, void* data, std::size_t size) = 0;
};

struct ImageLayout {
  std::int64_t image_end = 0;           // end of the last section's raw data, or of the
                                        // COFF symbol and string tables that may follow it
  std::int64_t certificate_offset = 0;  // file offset of the certificate table
  std::int64_t certificate_size = 0;    // 0 when the image carries none
};

// False when the bytes are not a PE image (no MZ/PE signature, an unknown optional header,
// headers running past the file).
bool ReadImageLayout(ByteSource& file, std::int64_t file_size, ImageLayout* layout);

// Signing tools pad the file to 8 bytes before they append the table.
constexpr std::int64_t kMaxCertificatePadding = 7;

// File offset of the 4-byte trailer of a setup program of `file_size` bytes (at least 4).
// When a certificate table ends the file, the trailer lies just before it, after at most
// kMaxCertificatePadding zero bytes, and must name the end of the image as the archive's
// start; anything else keeps the trailer in the file's last four bytes.
std::int64_t FindTrailerOffset(ByteSource& file, std::int64_t file_size);

// True when a certificate table ends the file and the trailer stands just before it: the
// archive and its trailer lie inside the range the signature covers.
bool HasSignedTrailer(ByteSource& file, std::int64_t file_size);
