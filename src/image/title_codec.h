// The engine's compressed title picture: a 20-byte header (magic, variant, width, height,
// data size), an optional name, then a data block of 24-bit pixels (blue, green, red, rows
// packed top-down) compressed with short back-references into a 32-entry offset table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr std::size_t kTitleHeaderSize = 20;
constexpr int kTitleOffsetCount = 32;
// (dx, dy) of the 32 back-reference entries, in pixels: the decoder's and the encoder's.
inline constexpr signed char kTitleOffsetPixels[kTitleOffsetCount][2] = {
    {-1, 0},  {-2, 0},  {-3, 0},  {-4, 0},  {-5, 0},  {-6, 0},                       //
    {3, -1},  {2, -1},  {1, -1},  {0, -1},  {-1, -1}, {-2, -1}, {-3, -1},            //
    {3, -2},  {2, -2},  {1, -2},  {0, -2},  {-1, -2}, {-2, -2}, {-3, -2},            //
    {3, -3},  {2, -3},  {1, -3},  {0, -3},  {-1, -3}, {-2, -3}, {-3, -3},            //
    {2, -4},  {1, -4},  {0, -4},  {-1, -4}, {-2, -4}};
// Larger pictures are refused: 16384 x 16384 is far beyond any title screen and keeps
// 3 x width x height (and the row stride) within 32-bit arithmetic.
constexpr std::int64_t kMaxTitlePixels = std::int64_t{16384} * 16384;

enum class TitleVariant { kTC00, kTS00, kTC01, kTS01 };

// "TS" variants carry a scrambled data block that ends with the check bytes "TS".
bool TitleVariantScrambled(TitleVariant variant);
// "01" variants carry a name (16-bit length and bytes) after the header.
bool TitleVariantNamed(TitleVariant variant);
const char* TitleVariantName(TitleVariant variant);

// The variant whose eight header bytes (magic and variant word) start `bytes`; false for
// anything else, the engine's other picture variants included.
bool MatchTitleHeader(const unsigned char* bytes, TitleVariant* variant);

// Width and height both positive and their product at most kMaxTitlePixels.
bool TitleSizeAccepted(std::int64_t width, std::int64_t height);

struct TitleFile {
  TitleVariant variant = TitleVariant::kTC00;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<unsigned char> data;  // the data block as stored (still scrambled)
};

enum class TitleRead {
  kOk,
  kShortHeader,  // fewer than 20 bytes: nothing is known about the picture
  kShortData,    // the header is good but the data block ended early
  kUnknown,      // not one of the four variants
  kBadSize,      // a variant we know, but a size no surface can take
};

// Reads a title file from the stream's current position: header, name skipped, data block.
// The block grows with what actually arrives, so a lying data size costs no memory.
TitleRead ReadTitleFile(std::FILE* file, TitleFile* out);
// The same over bytes already in memory.
TitleRead ParseTitleFile(const unsigned char* bytes, std::size_t size, TitleFile* out);

// XORs the block in place with the process-wide 1024-byte key table: byte i with key
// byte i % 1024. The table is all zero, so the block stays as it was.
void UnscrambleTitleData(unsigned char* data, std::size_t size);

// Byte offsets of the 32 back-reference entries for a picture `width` pixels wide.
void BuildTitleOffsets(std::int64_t width, std::ptrdiff_t offsets[kTitleOffsetCount]);

enum class TitleDecode {
  kComplete,      // every pixel decoded
  kOverrun,       // the last command ran past the picture; the part that fits was kept
  kInputEnded,    // the stream ended early; the rest of the picture is left as it was
  kBadReference,  // a back-reference outside the picture; decoding stopped there
  kUnchecked,     // a scrambled block without its "TS" check bytes: nothing written
};

// Decodes a compressed stream into `pixels` packed (3 x width bytes per row). The caller
// guarantees 3 x width x height bytes there and an accepted size. Never reads outside
// [data, data + size) nor writes outside the picture; pixels past a fault keep their bytes.
TitleDecode DecodeTitlePixels(const unsigned char* data, std::size_t size, int width,
                              int height, unsigned char* pixels);

// Moves packed rows apart to `stride` bytes each, last row first so that no row is
// overwritten before it has moved. The padding bytes keep whatever they held.
void SpreadTitleRows(unsigned char* pixels, int width, int height, std::size_t stride);

// Everything after reading: unscramble, check "TS", decode, spread to the stride.
// `pixels` holds stride x height bytes, stride >= 3 x width.
TitleDecode DecodeTitleFile(TitleFile* file, unsigned char* pixels, std::size_t stride);

// Encoder: the shortest stream this format allows for the pixels (packed rows, 3 x width
// bytes each), found by an exact parse over every offset of the table.
std::vector<unsigned char> EncodeTitlePixels(const unsigned char* pixels, int width,
                                             int height);
// A whole file of the given variant; the name is written only by the "01" variants
// (at most 65535 bytes are kept).
std::vector<unsigned char> EncodeTitleFile(const unsigned char* pixels, int width, int height,
                                           TitleVariant variant,
                                           const std::string& name = std::string());
