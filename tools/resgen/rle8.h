// Run-length encoding of 8-bit device-independent bitmaps (BI_RLE8).
#pragma once

#include <cstdint>
#include <vector>

namespace resgen {

// Encodes width x height pixels given in DIB row order (bottom row first). Every row ends
// with an end-of-line code except the last, which ends with end-of-bitmap; no delta codes,
// so each frame stands alone.
std::vector<std::uint8_t> EncodeRle8(const std::uint8_t* pixels, int width, int height);

}  // namespace resgen
