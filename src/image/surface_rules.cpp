#include "image/surface_rules.h"

std::int64_t SurfaceStride(std::int64_t width, int eight_bit) {
  const std::int64_t row = eight_bit ? width : 3 * width;
  return (row + 3) / 4 * 4;
}

std::size_t SurfaceInfoSize(int eight_bit) {
  return kInfoHeaderSize + (eight_bit ? 4 * kPaletteEntries : 0);
}
