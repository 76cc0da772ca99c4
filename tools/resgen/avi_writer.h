// A RIFF AVI file with one 8-bit RLE video stream, as the animation control plays it.
#pragma once

#include <cstdint>
#include <vector>

namespace resgen {

struct RleVideo {
  int width = 0;
  int height = 0;
  std::uint32_t micro_seconds_per_frame = 0;
  std::vector<std::uint32_t> palette;                // 0x00RRGGBB, at most 256 entries
  std::vector<std::vector<std::uint8_t>> frames;     // each one EncodeRle8 output
};

// Handler of the video stream: 'RLE ' tells players to decode the frames themselves (a
// numeric handler of 1 sends them looking for an installed codec, which may not exist).
constexpr std::uint32_t kRleHandler = 'R' | 'L' << 8 | 'E' << 16 | static_cast<std::uint32_t>(' ') << 24;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kAviHasIndex = 0x10;
constexpr std::uint32_t kIndexKeyFrame = 0x10;

std::vector<std::uint8_t> BuildRleAvi(const RleVideo& video);

}  // namespace resgen
