// The build-time artwork: RLE8 frames decode back to the drawn pictures, the AVI and icon
// files carry the headers the animation control and the resource compiler read.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "resgen/artwork.h"
#include "resgen/avi_writer.h"
#include "resgen/icon_writer.h"
#include "resgen/rle8.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace resgen;

// A strict BI_RLE8 decoder written from the format, independent of the encoder: every pixel
// must be written exactly once, rows must be complete before end-of-line, and the data
// must end with end-of-bitmap exactly at its last byte. Delta codes are refused because
// a frame that skips pixels would show the previous frame through.
bool DecodeRle8(const Bytes& data, int width, int height, Bytes* pixels, std::string* why) {
  pixels->assign(static_cast<std::size_t>(width) * height, 0);
  std::vector<bool> written(pixels->size(), false);
  int x = 0, y = 0;
  std::size_t at = 0;
  auto put = [&](std::uint8_t value) {
    if (y >= height || x >= width) return false;
    const std::size_t i = static_cast<std::size_t>(y) * width + x;
    if (written[i]) return false;
    written[i] = true;
    (*pixels)[i] = value;
    ++x;
    return true;
  };
  while (at + 1 < data.size()) {
    const std::uint8_t count = data[at], value = data[at + 1];
    at += 2;
    if (count != 0) {
      for (int i = 0; i < count; ++i) {
        if (!put(value)) return *why = "encoded run leaves the row", false;
      }
    } else if (value == 0) {
      if (x != width) return *why = "end of line before the row is complete", false;
      x = 0;
      ++y;
    } else if (value == 1) {
      if (y != height - 1 || x != width) return *why = "end of bitmap too early", false;
      if (at != data.size()) return *why = "bytes after end of bitmap", false;
      return true;
    } else if (value == 2) {
      return *why = "delta code", false;
    } else {
      const std::size_t padded = value + (value & 1u);
      if (at + padded > data.size()) return *why = "absolute run past the data", false;
      if ((value & 1u) && data[at + value] != 0) return *why = "padding byte not zero", false;
      for (int i = 0; i < value; ++i) {
        if (!put(data[at + i])) return *why = "absolute run leaves the row", false;
      }
      at += padded;
    }
  }
  return *why = "no end of bitmap", false;
}

void ExpectRoundTrip(const Bytes& pixels, int width, int height) {
  const Bytes encoded = EncodeRle8(pixels.data(), width, height);
  Bytes decoded;
  std::string why;
  ASSERT_TRUE(DecodeRle8(encoded, width, height, &decoded, &why)) << why;
  EXPECT_EQ(decoded, pixels);
}

TEST(ResgenRle8, ExactCodes) {
  struct Row {
    const char* name;
    Bytes pixels;
    int width;
    int height;
    Bytes expected;
  };
  const std::vector<Row> rows = {
      {"run then single", {5, 5, 5, 7}, 4, 1, {3, 5, 1, 7, 0, 1}},
      {"odd literal is padded", {1, 2, 3}, 3, 1, {0, 3, 1, 2, 3, 0, 0, 1}},
      {"even literal", {1, 2, 3, 4}, 4, 1, {0, 4, 1, 2, 3, 4, 0, 1}},
      {"two singles cannot be absolute", {1, 2}, 2, 1, {1, 1, 1, 2, 0, 1}},
      {"pair is a run", {9, 9}, 2, 1, {2, 9, 0, 1}},
      {"literal stops before a run of three", {1, 2, 3, 3, 3}, 5, 1, {1, 1, 1, 2, 3, 3, 0, 1}},
      {"pair stays inside a literal", {1, 2, 2, 3}, 4, 1, {0, 4, 1, 2, 2, 3, 0, 1}},
      {"rows end with end of line", {4, 4, 6, 6}, 2, 2, {2, 4, 0, 0, 2, 6, 0, 1}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(EncodeRle8(row.pixels.data(), row.width, row.height), row.expected) << row.name;
    ExpectRoundTrip(row.pixels, row.width, row.height);
  }
}

TEST(ResgenRle8, LongRowsSplitAtByteCounts) {
  constexpr int kWidth = 600;
  Bytes same(kWidth, 7);
  ExpectRoundTrip(same, kWidth, 1);
  // 600 = 255 + 255 + 90: three encoded runs and end of bitmap.
  EXPECT_EQ(EncodeRle8(same.data(), kWidth, 1), (Bytes{255, 7, 255, 7, 90, 7, 0, 1}));

  Bytes ramp(kWidth);
  for (int i = 0; i < kWidth; ++i) ramp[i] = static_cast<std::uint8_t>(i * 7);
  ExpectRoundTrip(ramp, kWidth, 1);
  const Bytes encoded = EncodeRle8(ramp.data(), kWidth, 1);
  EXPECT_EQ(encoded[0], 0);
  EXPECT_EQ(encoded[1], 255);  // absolute runs are split at 255 as well
}

TEST(ResgenRle8, RandomPicturesRoundTrip) {
  std::mt19937 random(1234);
  for (int round = 0; round < 300; ++round) {
    const int width = 1 + static_cast<int>(random() % 300);
    const int height = 1 + static_cast<int>(random() % 6);
    Bytes pixels(static_cast<std::size_t>(width) * height);
    // Mix of runs of every length and noise, so runs meet literals at every position.
    std::size_t i = 0;
    while (i < pixels.size()) {
      const std::size_t length = 1 + random() % (random() % 2 ? 4 : 300);
      const bool noise = random() % 3 == 0;
      const auto value = static_cast<std::uint8_t>(random() % 4);
      for (std::size_t k = 0; k < length && i < pixels.size(); ++k, ++i) {
        pixels[i] = noise ? static_cast<std::uint8_t>(random() % 256) : value;
      }
    }
    ExpectRoundTrip(pixels, width, height);
  }
}

// A small RIFF reader for the checks below.
struct Chunk {
  std::string id;
  std::string form;  // for RIFF and LIST
  std::size_t data = 0;  // offset of the data (after the form type for lists)
  std::uint32_t size = 0;  // size field as stored
};

std::uint32_t U32(const Bytes& b, std::size_t at) { return LoadU32(&b[at]); }
std::uint16_t U16(const Bytes& b, std::size_t at) { return LoadU16(&b[at]); }
std::string FourCc(const Bytes& b, std::size_t at) {
  return std::string(reinterpret_cast<const char*>(&b[at]), 4);
}

std::vector<Chunk> Children(const Bytes& b, std::size_t from, std::size_t end) {
  std::vector<Chunk> chunks;
  while (from + 8 <= end) {
    Chunk c;
    c.id = FourCc(b, from);
    c.size = U32(b, from + 4);
    c.data = from + 8;
    EXPECT_LE(c.data + c.size, end) << c.id << " runs past its parent";
    if (c.data + c.size > end) break;
    if (c.id == "RIFF" || c.id == "LIST") {
      c.form = FourCc(b, c.data);
      c.data += 4;
    }
    chunks.push_back(c);
    from += 8 + c.size + (c.size & 1);
  }
  EXPECT_EQ(from, end) << "chunks do not fill their parent";
  return chunks;
}

const Chunk& Find(const std::vector<Chunk>& chunks, const std::string& id, const std::string& form = "") {
  for (const Chunk& c : chunks) {
    if (c.id == id && c.form == form) return c;
  }
  static const Chunk missing;
  ADD_FAILURE() << "missing chunk " << id << " " << form;
  return missing;
}

std::size_t End(const Chunk& c) {
  return c.data + c.size - (c.form.empty() ? 0 : 4);
}

TEST(ResgenAnimation, AviHeadersIndexAndFramesDecodeToTheDrawing) {
  const Bytes avi = BuildRleAvi(BuildCopyAnimation());
  const auto top = Children(avi, 0, avi.size());
  ASSERT_EQ(top.size(), 1u);
  ASSERT_EQ(top[0].id, "RIFF");
  ASSERT_EQ(top[0].form, "AVI ");
  const auto body = Children(avi, top[0].data, End(top[0]));
  const Chunk& hdrl = Find(body, "LIST", "hdrl");
  const auto headers = Children(avi, hdrl.data, End(hdrl));

  const Chunk& avih = Find(headers, "avih");
  ASSERT_EQ(avih.size, 56u);
  EXPECT_EQ(U32(avi, avih.data + 0), 100000u);  // microseconds per frame
  EXPECT_EQ(U32(avi, avih.data + 12) & kAviHasIndex, kAviHasIndex);
  EXPECT_EQ(U32(avi, avih.data + 16), 17u);  // total frames
  EXPECT_EQ(U32(avi, avih.data + 24), 1u);   // streams
  EXPECT_EQ(U32(avi, avih.data + 32), 260u);
  EXPECT_EQ(U32(avi, avih.data + 36), 40u);
  const std::uint32_t buffer = U32(avi, avih.data + 28);

  const Chunk& strl = Find(headers, "LIST", "strl");
  const auto stream = Children(avi, strl.data, End(strl));
  const Chunk& strh = Find(stream, "strh");
  ASSERT_EQ(strh.size, 56u);
  EXPECT_EQ(FourCc(avi, strh.data), "vids");
  EXPECT_EQ(FourCc(avi, strh.data + 4), "RLE ");
  EXPECT_EQ(U32(avi, strh.data + 20), 1u);   // scale
  EXPECT_EQ(U32(avi, strh.data + 24), 10u);  // rate: 10 frames a second
  EXPECT_EQ(U32(avi, strh.data + 32), 17u);  // length
  EXPECT_EQ(U32(avi, strh.data + 36), buffer);
  EXPECT_EQ(U16(avi, strh.data + 52), 260u);
  EXPECT_EQ(U16(avi, strh.data + 54), 40u);

  const Chunk& strf = Find(stream, "strf");
  ASSERT_GE(strf.size, 40u);
  EXPECT_EQ(U32(avi, strf.data + 4), 260u);
  EXPECT_EQ(U32(avi, strf.data + 8), 40u);  // positive: bottom-up rows, required for RLE
  EXPECT_EQ(U16(avi, strf.data + 12), 1u);
  EXPECT_EQ(U16(avi, strf.data + 14), 8u);
  EXPECT_EQ(U32(avi, strf.data + 16), kBiRle8);
  const std::uint32_t image_size = U32(avi, strf.data + 20);
  const std::uint32_t colours = U32(avi, strf.data + 32);
  ASSERT_EQ(colours, AnimationPalette().size());
  ASSERT_EQ(strf.size, 40 + 4 * colours);
  std::map<std::uint32_t, int> rgb_uses;
  for (std::uint32_t i = 0; i < colours; ++i) {
    const std::uint32_t rgb = U32(avi, strf.data + 40 + 4 * i);
    EXPECT_EQ(rgb, AnimationPalette()[i]);
    ++rgb_uses[rgb];
  }
  // The transparent colour must not be shared with anything drawn.
  EXPECT_EQ(rgb_uses[AnimationPalette()[kCopyBackground]], 1);

  const Chunk& movi = Find(body, "LIST", "movi");
  const auto frames = Children(avi, movi.data, End(movi));
  ASSERT_EQ(frames.size(), 17u);
  const Chunk& idx1 = Find(body, "idx1");
  ASSERT_EQ(idx1.size, 17u * 16);
  const std::size_t movi_base = movi.data - 4;  // index offsets count from the form type

  Bytes previous;
  for (int i = 0; i < 17; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const std::size_t entry = idx1.data + 16 * static_cast<std::size_t>(i);
    EXPECT_EQ(FourCc(avi, entry), "00dc");
    EXPECT_EQ(U32(avi, entry + 4), kIndexKeyFrame);
    EXPECT_EQ(movi_base + U32(avi, entry + 8), frames[i].data - 8);
    EXPECT_EQ(U32(avi, entry + 12), frames[i].size);
    EXPECT_EQ(frames[i].id, "00dc");
    EXPECT_LE(frames[i].size, buffer);
    EXPECT_LE(frames[i].size, image_size);  // decoders stop at the header's image size

    const Bytes data(avi.begin() + static_cast<std::ptrdiff_t>(frames[i].data),
                     avi.begin() + static_cast<std::ptrdiff_t>(frames[i].data + frames[i].size));
    Bytes decoded;
    std::string why;
    ASSERT_TRUE(DecodeRle8(data, 260, 40, &decoded, &why)) << why;
    const Canvas drawn = DrawCopyFrame(i);
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 260; ++x) {
        ASSERT_EQ(decoded[static_cast<std::size_t>(39 - y) * 260 + x], PixelAt(drawn, x, y))
            << "at " << x << "," << y;
      }
    }
    EXPECT_EQ(PixelAt(drawn, 0, 0), kCopyBackground);
    EXPECT_LT(data.size(), decoded.size() / 2) << "the encoding should compress";
    EXPECT_NE(decoded, previous) << "consecutive frames are identical";
    previous = decoded;
  }
}

TEST(ResgenIcon, TwoSixteenColourImagesWithMasks) {
  const Bytes ico = BuildProgramIcon();
  ASSERT_GE(ico.size(), 6u + 2 * 16);
  EXPECT_EQ(U16(ico, 0), 0u);
  EXPECT_EQ(U16(ico, 2), 1u);
  ASSERT_EQ(U16(ico, 4), 2u);
  const int sizes[] = {32, 16};
  std::size_t expected_offset = 6 + 2 * 16;
  for (int n = 0; n < 2; ++n) {
    const int size = sizes[n];
    SCOPED_TRACE("icon " + std::to_string(size));
    const std::size_t entry = 6 + 16 * static_cast<std::size_t>(n);
    EXPECT_EQ(ico[entry], size);
    EXPECT_EQ(ico[entry + 1], size);
    EXPECT_EQ(ico[entry + 2], 16);  // colours
    EXPECT_EQ(U16(ico, entry + 4), 1u);
    EXPECT_EQ(U16(ico, entry + 6), 4u);
    const std::uint32_t bytes = U32(ico, entry + 8);
    const std::uint32_t offset = U32(ico, entry + 12);
    EXPECT_EQ(offset, expected_offset);
    const std::size_t colour_row = (size * 4 + 31) / 32 * 4, mask_row = (size + 31) / 32 * 4;
    ASSERT_EQ(bytes, 40 + 16 * 4 + (colour_row + mask_row) * size);
    ASSERT_LE(offset + bytes, ico.size());
    expected_offset += bytes;

    EXPECT_EQ(U32(ico, offset), 40u);
    EXPECT_EQ(U32(ico, offset + 4), static_cast<std::uint32_t>(size));
    EXPECT_EQ(U32(ico, offset + 8), static_cast<std::uint32_t>(2 * size));  // colour + mask
    EXPECT_EQ(U16(ico, offset + 14), 4u);
    EXPECT_EQ(U32(ico, offset + 16), 0u);  // uncompressed
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(U32(ico, offset + 40 + 4 * i), IconPalette()[i]);
    }
    const std::size_t colour_bits = offset + 40 + 64;
    const std::size_t mask_bits = colour_bits + colour_row * size;
    const Canvas drawn = DrawProgramIcon(size);
    int transparent = 0;
    for (int y = 0; y < size; ++y) {
      const std::size_t row = static_cast<std::size_t>(size - 1 - y);  // bottom-up
      for (int x = 0; x < size; ++x) {
        const std::uint8_t packed = ico[colour_bits + row * colour_row + x / 2];
        const int index = x % 2 ? packed & 0x0F : packed >> 4;
        const bool masked = ico[mask_bits + row * mask_row + x / 8] & (0x80 >> (x % 8));
        const std::uint8_t want = PixelAt(drawn, x, y);
        if (want == kIconTransparent) {
          ++transparent;
          EXPECT_TRUE(masked) << x << "," << y;
          EXPECT_EQ(index, 0) << x << "," << y;  // black under the mask shows the background
        } else {
          EXPECT_FALSE(masked) << x << "," << y;
          EXPECT_EQ(index, want) << x << "," << y;
        }
      }
    }
    EXPECT_GT(transparent, 0);
    EXPECT_LT(transparent, size * size / 2);
  }
  EXPECT_EQ(expected_offset, ico.size());
}

TEST(ResgenIcon, RefusesWhatTheFormatCannotHold) {
  EXPECT_THROW(BuildIcon({MakeCanvas(8, 8, 0)}, {0, 1, 2}), std::invalid_argument);
  EXPECT_THROW(BuildIcon({MakeCanvas(8, 4, 0)}, IconPalette()), std::invalid_argument);
  EXPECT_THROW(BuildIcon({MakeCanvas(8, 8, 16)}, IconPalette()), std::invalid_argument);
}

}  // namespace
