// Icon files (.ico) of 16-colour images with a transparency mask.
#pragma once

#include <cstdint>
#include <vector>

#include "resgen/canvas.h"

namespace resgen {

// Canvas pixels equal to this index are transparent (mask bit set, colour 0).
constexpr std::uint8_t kIconTransparent = 0xFF;

// Each image is a square canvas whose other pixels are indices into the 16-entry palette
// (0x00RRGGBB); images appear in the file in the order given.
std::vector<std::uint8_t> BuildIcon(const std::vector<Canvas>& images,
                                    const std::vector<std::uint32_t>& palette16);

}  // namespace resgen
