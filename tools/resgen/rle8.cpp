#include "resgen/rle8.h"

namespace resgen {

namespace {

constexpr int kMaxCount = 255;
// Absolute mode cannot say fewer than three pixels (counts 0 to 2 are escape codes).
constexpr int kMinAbsolute = 3;

int RunLength(const std::uint8_t* row, int from, int width) {
  int length = 1;
  while (from + length < width && length < kMaxCount && row[from + length] == row[from]) ++length;
  return length;
}

void EncodeRow(const std::uint8_t* row, int width, std::vector<std::uint8_t>& out) {
  int x = 0;
  while (x < width) {
    const int run = RunLength(row, x, width);
    if (run >= 2) {
      out.push_back(static_cast<std::uint8_t>(run));
      out.push_back(row[x]);
      x += run;
      continue;
    }
    // Gather differing pixels until a run worth its own code starts.
    int literal = 1;
    while (x + literal < width && literal < kMaxCount &&
           RunLength(row, x + literal, width) < kMinAbsolute) {
      ++literal;
    }
    if (literal < kMinAbsolute) {
      for (int i = 0; i < literal; ++i) {
        out.push_back(1);
        out.push_back(row[x + i]);
      }
    } else {
      out.push_back(0);
      out.push_back(static_cast<std::uint8_t>(literal));
      out.insert(out.end(), row + x, row + x + literal);
      if (literal & 1) out.push_back(0);  // absolute runs keep 16-bit alignment
    }
    x += literal;
  }
}

}  // namespace

std::vector<std::uint8_t> EncodeRle8(const std::uint8_t* pixels, int width, int height) {
  std::vector<std::uint8_t> out;
  if (height <= 0) return {0, 1};
  for (int y = 0; y < height; ++y) {
    EncodeRow(pixels + static_cast<std::size_t>(y) * width, width, out);
    out.push_back(0);
    out.push_back(y + 1 < height ? 0 : 1);
  }
  return out;
}

}  // namespace resgen
