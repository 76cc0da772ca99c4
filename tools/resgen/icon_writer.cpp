#include "resgen/icon_writer.h"

#include <stdexcept>

namespace resgen {

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v));
  Put16(out, static_cast<std::uint16_t>(v >> 16));
}

constexpr int kColours = 16;

int RowBytes(int width, int bits) { return (width * bits + 31) / 32 * 4; }

// BITMAPINFOHEADER (double height: colour rows then mask rows), palette, colour bits,
// mask bits; rows bottom up, each padded to 32 bits.
std::vector<std::uint8_t> ImageBits(const Canvas& image, const std::vector<std::uint32_t>& palette) {
  std::vector<std::uint8_t> out;
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(image.width));
  Put32(out, static_cast<std::uint32_t>(image.height * 2));
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, 0);  // BI_RGB
  const int colour_row = RowBytes(image.width, 4);
  const int mask_row = RowBytes(image.width, 1);
  Put32(out, static_cast<std::uint32_t>((colour_row + mask_row) * image.height));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  for (std::uint32_t rgb : palette) {
    out.push_back(static_cast<std::uint8_t>(rgb));
    out.push_back(static_cast<std::uint8_t>(rgb >> 8));
    out.push_back(static_cast<std::uint8_t>(rgb >> 16));
    out.push_back(0);
  }
  for (int y = image.height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(colour_row, 0);
    for (int x = 0; x < image.width; ++x) {
      std::uint8_t index = PixelAt(image, x, y);
      if (index == kIconTransparent) index = 0;
      if (index >= kColours) throw std::invalid_argument("icon pixel outside the 16 colours");
      row[x / 2] |= static_cast<std::uint8_t>(x % 2 ? index : index << 4);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = image.height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(mask_row, 0);
    for (int x = 0; x < image.width; ++x) {
      if (PixelAt(image, x, y) == kIconTransparent) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> BuildIcon(const std::vector<Canvas>& images,
                                    const std::vector<std::uint32_t>& palette16) {
  if (palette16.size() != kColours) throw std::invalid_argument("icons take 16 colours");
  std::vector<std::vector<std::uint8_t>> bits;
  for (const Canvas& image : images) {
    if (image.width != image.height || image.width <= 0 || image.width > 256) {
      throw std::invalid_argument("icon images are squares of 1 to 256 pixels");
    }
    bits.push_back(ImageBits(image, palette16));
  }
  std::vector<std::uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<std::uint8_t>(images[i].width));  // 256 wraps to 0, as the format says
    out.push_back(static_cast<std::uint8_t>(images[i].height));
    out.push_back(kColours);
    out.push_back(0);
    Put16(out, 1);  // planes
    Put16(out, 4);  // bits per pixel
    Put32(out, static_cast<std::uint32_t>(bits[i].size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(bits[i].size());
  }
  for (const auto& image : bits) out.insert(out.end(), image.begin(), image.end());
  return out;
}

}  // namespace resgen
