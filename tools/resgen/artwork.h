// The pictures: the copy animation (a page flying from a disc into a folder) and the
// program icon (a disc and a folder), both drawn from shapes.
#pragma once

#include <cstdint>
#include <vector>

#include "resgen/avi_writer.h"
#include "resgen/canvas.h"

namespace resgen {

constexpr int kCopyFrameCount = 17;
constexpr int kCopyFrameWidth = 260;
constexpr int kCopyFrameHeight = 40;
constexpr std::uint32_t kCopyFrameMicroSeconds = 100000;
// Fills the animation's background: used by nothing else, because the control shows the
// colour of the top-left pixel as transparent.
constexpr std::uint8_t kCopyBackground = 16;

const std::vector<std::uint32_t>& IconPalette();       // the 16 standard colours
const std::vector<std::uint32_t>& AnimationPalette();  // the same plus the background

Canvas DrawCopyFrame(int frame);  // rows top to bottom
RleVideo BuildCopyAnimation();     // frames encoded bottom row first

Canvas DrawProgramIcon(int size);  // transparent pixels are kIconTransparent
std::vector<std::uint8_t> BuildProgramIcon();  // 32 x 32 and 16 x 16

}  // namespace resgen
