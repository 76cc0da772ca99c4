#include "image/title_codec.h"
#include "common/byte_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::size_t Stride24(int width) { return (3 * static_cast<std::size_t>(width) + 3) / 4 * 4; }

// Picture generators: packed rows of blue, green, red.
Bytes Picture(int w, int h, const std::function<std::uint32_t(int, int)>& color) {
  Bytes px(3 * static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = color(x, y);
      unsigned char* p = &px[3 * (static_cast<std::size_t>(y) * w + x)];
      p[0] = c & 0xFF;
      p[1] = (c >> 8) & 0xFF;
      p[2] = (c >> 16) & 0xFF;
    }
  }
  return px;
}

struct Content {
  const char* name;
  std::function<std::uint32_t(int, int)> color;
};

std::vector<Content> Contents() {
  auto noise = std::make_shared<std::mt19937>(7);
  return {
      {"flat", [](int, int) { return 0x3366CCu; }},
      {"gradient", [](int x, int y) { 
         return static_cast<std::uint32_t>(((x * 3) & 0xFF) | ((y * 5) & 0xFF) << 8 | ((x + y) & 0xFF) << 16);
       }},
      {"noise", [noise](int, int) { return static_cast<std::uint32_t>((*noise)()) & 0xFFFFFF; }},
      {"repeated_rows", [](int x, int) { return static_cast<std::uint32_t>(x * 0x010203) & 0xFFFFFF; }},
      {"few_colors", [noise](int, int) { return ((*noise)() % 3) * 0x404040u; }},
      {"stripes", [](int x, int y) { return ((x / 7 + y / 3) % 2) ? 0xFFFFFFu : 0x102030u; }},
  };
}

// Decodes a whole file image the way the loader does, into stride-wide rows.
TitleDecode DecodeFile(const Bytes& file, TitleFile* parsed, Bytes* surface, unsigned char fill = 0xCD) {
  EXPECT_EQ(ParseTitleFile(file.data(), file.size(), parsed), TitleRead::kOk);
  const std::size_t stride = Stride24(parsed->width);
  surface->assign(stride * parsed->height, fill);
  return DecodeTitleFile(parsed, surface->data(), stride);
}

void ExpectRowsEqual(const Bytes& packed, const Bytes& surface, int w, int h) {
  const std::size_t row = 3 * static_cast<std::size_t>(w);
  for (int y = 0; y < h; ++y) {
    ASSERT_EQ(0, std::memcmp(&packed[y * row], &surface[y * Stride24(w)], row)) << "row " << y;
  }
}

TEST(TitleCodecRoundTrip, EverySizeAndContent) {
  const std::vector<std::pair<int, int>> sizes = {
      {1, 1},  {1, 2},  {1, 37}, {37, 1}, {2, 2},  {3, 3},   {4, 4},   {5, 3},   {6, 5},
      {7, 9},  {8, 2},  {9, 11}, {1, 300}, {300, 1}, {129, 2}, {31, 17}, {640, 480}};
  for (const auto& [w, h] : sizes) {
    for (const Content& content : Contents()) {
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " " + content.name);
      const Bytes px = Picture(w, h, content.color);
      const Bytes file = EncodeTitleFile(px.data(), w, h, TitleVariant::kTC00);
      TitleFile parsed;
      Bytes surface;
      ASSERT_EQ(DecodeFile(file, &parsed, &surface), TitleDecode::kComplete);
      ExpectRowsEqual(px, surface, w, h);
    }
  }
}

TEST(TitleCodecRoundTrip, EveryVariantAndName) {
  const Bytes px = Picture(13, 7, [](int x, int y) { return static_cast<std::uint32_t>(x * y * 997); });
  const std::string long_name(65535, 'n');
  for (TitleVariant variant : {TitleVariant::kTC00, TitleVariant::kTS00, TitleVariant::kTC01, TitleVariant::kTS01}) {
    for (const std::string& name : {std::string(), std::string("title"), long_name}) {
      SCOPED_TRACE(std::string(TitleVariantName(variant)) + " name " + std::to_string(name.size()));
      const Bytes file = EncodeTitleFile(px.data(), 13, 7, variant, name);
      const std::size_t name_bytes = TitleVariantNamed(variant) ? 2 + name.size() : 0;
      ASSERT_EQ(file.size(), EncodeTitlePixels(px.data(), 13, 7).size() + 20 + name_bytes +
                                 (TitleVariantScrambled(variant) ? 2 : 0));
      TitleFile parsed;
      Bytes surface;
      ASSERT_EQ(DecodeFile(file, &parsed, &surface), TitleDecode::kComplete);
      EXPECT_EQ(parsed.variant, variant);
      ExpectRowsEqual(px, surface, 13, 7);
    }
  }
}

// Shortest parse by exhaustive search over every command at every position.
std::size_t BruteForceSize(const Bytes& px, int w, int h) {
  const int n = w * h;
  auto same = [&](int a, int b) { return std::memcmp(&px[3 * a], &px[3 * b], 3) == 0; };
  std::ptrdiff_t offsets[kTitleOffsetCount];
  BuildTitleOffsets(w, offsets);
  std::vector<std::size_t> best(n + 1, 0);
  for (int p = n - 1; p >= 1; --p) {
    std::size_t b = SIZE_MAX;
    for (int m = 1; p + m <= n; ++m) b = std::min(b, (m <= 127 ? 1 : 3) + 3 * m + best[p + m]);
    for (int k = 0; k < kTitleOffsetCount; ++k) {
      const int d = static_cast<int>(offsets[k] / 3);
      if (d >= 0 || p + d < 0) continue;
      for (int l = 1; p + l <= n && same(p + l - 1, p + l - 1 + d); ++l) {
        b = std::min(b, (l <= 3 ? 1u : 3u) + best[p + l]);
      }
    }
    best[p] = b;
  }
  return 3 + (n > 1 ? best[1] : 0);
}

TEST(TitleEncoder, FindsTheShortestStream) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 300; ++trial) {
    const int w = 1 + random() % 6, h = 1 + random() % 6;
    const int colors = 1 + random() % 4;
    const Bytes px = Picture(w, h, [&](int, int) { return (random() % colors) * 0x112233u; });
    const Bytes stream = EncodeTitlePixels(px.data(), w, h);
    ASSERT_EQ(stream.size(), BruteForceSize(px, w, h)) << w << "x" << h << " trial " << trial;
    Bytes out(px.size());
    ASSERT_EQ(DecodeTitlePixels(stream.data(), stream.size(), w, h, out.data()), TitleDecode::kComplete);
    ASSERT_EQ(out, px);
  }
}

TEST(TitleEncoder, UsesTheLongForms) {
  // A flat row of 70000 pixels: the first pixel, then two long back-references.
  const Bytes flat = Picture(70000, 1, [](int, int) { return 0x0A0B0Cu; });
  const Bytes stream = EncodeTitlePixels(flat.data(), 70000, 1);
  EXPECT_EQ(stream.size(), 3u + 3 + 3) << "65539 + 4460 pixels from the left";
  // Noise: literal runs with the 3-byte header for up to 65663 pixels.
  std::mt19937 random(3);
  const Bytes noise = Picture(400, 400, [&](int, int) { return random() & 0xFFFFFF; });
  const std::size_t runs = (400 * 400 - 1 + 65662) / 65663;
  EXPECT_EQ(EncodeTitlePixels(noise.data(), 400, 400).size(), 3 * 400 * 400 + 3 * runs);
}

// Hand-made streams, checked against the pixels they must produce.
struct StreamCase {
  const char* name;
  int width, height;
  Bytes stream;
  TitleDecode status;
  Bytes expected;  // packed pixels; 0xEE marks bytes that must stay as they were
};

Bytes Repeat(const Bytes& pixel, int times) {
  Bytes out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), pixel.begin(), pixel.end());
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Ramp(int pixels, unsigned char start) {
  Bytes out(3 * pixels);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<unsigned char>(start + i);
  return out;
}

TEST(TitleDecoder, HandMadeStreams) {
  const Bytes a = {1, 2, 3}, b = {4, 5, 6}, c = {7, 8, 9}, d = {10, 11, 12};
  const Bytes e = {13, 14, 15}, f = {16, 17, 18}, g = {19, 20, 21}, x = {0xEE, 0xEE, 0xEE};
  const std::vector<StreamCase> cases = {
      {"0x83 with L=0 repeats the left pixel", 5, 1, Cat({a, {0x83, 0, 0}}),
       TitleDecode::kComplete, Repeat(a, 5)},
      {"short back-reference of two pixels from two back", 4, 1, Cat({a, {0x00}, b, {0x85}}),
       TitleDecode::kComplete, Cat({a, b, a, b})},
      {"0x7F with L=0 is a run of 128", 129, 1, Cat({a, {0x7F, 0, 0}, Ramp(128, 0)}),
       TitleDecode::kComplete, Cat({a, Ramp(128, 0)})},
      {"0x7E is a run of 127", 128, 1, Cat({a, {0x7E}, Ramp(127, 9)}), TitleDecode::kComplete,
       Cat({a, Ramp(127, 9)})},
      {"k=6 at a row's last pixel reads the current row", 4, 2,
       Cat({a, {0x02}, b, c, d, {0x02}, e, f, g, {0x80 | 6 << 2}}), TitleDecode::kComplete,
       Cat({a, b, c, d, e, f, g, g})},
      {"k=9 is straight above, k=29 four rows above", 2, 5,
       Cat({a, {0x00}, b, {0x80 | 9 << 2 | 1}, {0x03}, c, d, e, f, {0x80 | 29 << 2}, {0x80 | 9 << 2}}),
       TitleDecode::kComplete, Cat({a, b, a, b, c, d, e, f, a, f})},
      {"dx passing the left edge lands in the row above", 3, 2,
       Cat({a, {0x01}, b, c, {0x80}, {0x81}}), TitleDecode::kComplete, Cat({a, b, c, c, c, c})},
      {"back-reference before the first byte stops", 4, 2, Cat({a, {0x80 | 9 << 2}, b}),
       TitleDecode::kBadReference, Cat({a, Repeat(x, 7)})},
      {"long back-reference runs past the picture", 2, 1, Cat({a, {0x83, 0xFF, 0xFF}}),
       TitleDecode::kOverrun, Repeat(a, 2)},
      {"literal runs past the picture", 2, 1, Cat({a, {0x02}, b, c, d}), TitleDecode::kOverrun,
       Cat({a, b})},
      {"input ends inside a literal", 4, 1, Cat({a, {0x02}, b, {7}}), TitleDecode::kInputEnded,
       Cat({a, b, {7, 0xEE, 0xEE}, x})},
      {"input ends inside a 16-bit length", 9, 1, Cat({a, {0x83, 0}}), TitleDecode::kInputEnded,
       Cat({a, Repeat(x, 8)})},
      {"input ends before a command", 3, 1, a, TitleDecode::kInputEnded, Cat({a, x, x})},
      {"no first pixel", 1, 1, {1, 2}, TitleDecode::kInputEnded, x},
      {"one pixel reads no command", 1, 1, Cat({a, {0x83, 0xFF, 0xFF}}), TitleDecode::kComplete, a},
      // One pixel wide: entry 6 is 6 bytes ahead, in bytes not produced yet.
      {"a source ahead reads the untouched memory", 1, 4, Cat({a, {0x80 | 6 << 2}, {0x01}, b, c}),
       TitleDecode::kComplete, Cat({a, x, b, c})},
      {"a source ahead past the picture stops", 1, 2, Cat({a, {0x80 | 6 << 2}}),
       TitleDecode::kBadReference, Cat({a, x})},
  };
  for (const StreamCase& t : cases) {
    SCOPED_TRACE(t.name);
    Bytes out(3 * static_cast<std::size_t>(t.width) * t.height, 0xEE);
    EXPECT_EQ(DecodeTitlePixels(t.stream.data(), t.stream.size(), t.width, t.height, out.data()), t.status);
    EXPECT_EQ(out, t.expected);
  }
}

TEST(TitleDecoder, OffsetTableFollowsTheWidth) {
  std::ptrdiff_t o[kTitleOffsetCount];
  BuildTitleOffsets(10, o);
  const std::vector<std::pair<int, std::ptrdiff_t>> rows = {
      {0, -3}, {5, -18}, {6, -21}, {9, -30}, {12, -39}, {13, -51}, {20, -81}, {26, -99},
      {27, -114}, {29, -120}, {31, -126}};
  for (const auto& [k, offset] : rows) EXPECT_EQ(o[k], offset) << "k=" << k;
  // Absurd widths keep their far entries before the first byte on 32-bit builds too.
  BuildTitleOffsets(kMaxTitlePixels, o);
  EXPECT_LT(o[29], -3 * kMaxTitlePixels);
}

TEST(TitleDecoder, SpreadsRowsToTheStride) {
  for (int w : {1, 2, 3, 4, 5, 6, 7, 8, 9, 640}) {
    const int h = 5;
    const Bytes px = Picture(w, h, [](int x, int y) { return static_cast<std::uint32_t>(x * 31 + y * 1000 + 1); });
    Bytes surface(Stride24(w) * h, 0);
    std::copy(px.begin(), px.end(), surface.begin());
    SpreadTitleRows(surface.data(), w, h, Stride24(w));
    ExpectRowsEqual(px, surface, w, h);
  }
  EXPECT_EQ(Stride24(1), 4u);
  EXPECT_EQ(Stride24(4), 12u);
  EXPECT_EQ(Stride24(5), 16u);
  EXPECT_EQ(Stride24(640), 1920u);
}

// File layer: header, variants, name, check bytes, short and lying files.
Bytes Header(const char* variant, std::int32_t w, std::int32_t h, std::uint32_t size) {
  Bytes out = {0x98, 0x5A, 0x92, 0x9A};
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(variant[i]));
  for (std::uint32_t v : {static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), size}) {
    out.resize(out.size() + 4);
    StoreU32(&out[out.size() - 4], v);
  }
  return out;
}

TEST(TitleFileLayer, HeadersAndSizes) {
  const Bytes pixel = {1, 2, 3};
  struct Row {
    const char* name;
    Bytes file;
    TitleRead result;
  };
  Bytes wrong_magic = Cat({Header("TC00", 1, 1, 3), pixel});
  wrong_magic[0] = 0x99;
  const Bytes good = Header("TC00", 1, 1, 3);
  const std::vector<Row> rows = {
      {"TC00", Cat({Header("TC00", 1, 1, 3), pixel}), TitleRead::kOk},
      {"bytes after the block are ignored", Cat({Header("TC00", 1, 1, 3), pixel, {9, 9}}), TitleRead::kOk},
      {"TC01 with a name", Cat({Header("TC01", 1, 1, 3), {3, 0, 'a', 'b', 'c'}, pixel}), TitleRead::kOk},
      {"other variant TC02", Cat({Header("TC02", 1, 1, 3), pixel}), TitleRead::kUnknown},
      {"other variant TS10", Cat({Header("TS10", 1, 1, 3), pixel}), TitleRead::kUnknown},
      {"lower case", Cat({Header("tc00", 1, 1, 3), pixel}), TitleRead::kUnknown},
      {"wrong magic", wrong_magic, TitleRead::kUnknown},
      {"19 bytes", Bytes(good.begin(), good.begin() + 19), TitleRead::kShortHeader},
      {"short block", Cat({Header("TC00", 1, 1, 4), pixel}), TitleRead::kShortData},
      {"lying size", Cat({Header("TC00", 1, 1, 0xFFFFFFFF), pixel}), TitleRead::kShortData},
      {"name cut short", Cat({Header("TS01", 1, 1, 3), {0xFF, 0xFF}, pixel}), TitleRead::kShortData},
      {"zero width", Cat({Header("TC00", 0, 1, 3), pixel}), TitleRead::kBadSize},
      {"negative height", Cat({Header("TC00", 1, -1, 3), pixel}), TitleRead::kBadSize},
      {"too many pixels", Cat({Header("TC00", 16385, 16384, 3), pixel}), TitleRead::kBadSize},
      {"product overflows", Cat({Header("TC00", 0x7FFFFFFF, 0x7FFFFFFF, 3), pixel}), TitleRead::kBadSize},
      {"largest accepted", Cat({Header("TS00", 16384, 16384, 4), pixel}), TitleRead::kShortData},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TitleFile parsed;
    EXPECT_EQ(ParseTitleFile(row.file.data(), row.file.size(), &parsed), row.result);
    // The stream reader must agree with the memory reader.
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fwrite(row.file.data(), 1, row.file.size(), file);
    std::rewind(file);
    TitleFile streamed;
    EXPECT_EQ(ReadTitleFile(file, &streamed), row.result);
    std::fclose(file);
    if (row.result == TitleRead::kOk) {
      EXPECT_EQ(streamed.data, pixel);
    }
  }
}

TEST(TitleFileLayer, CheckBytesOfScrambledVariants) {
  const Bytes a = {1, 2, 3}, b = {4, 5, 6};
  struct Row {
    const char* variant;
    Bytes data;
    TitleDecode status;
    Bytes expected;
  };
  const Bytes untouched(8, 0xCD);
  // Row 1 moves from byte 3 to byte 4; the padding keeps what it held.
  const Bytes decoded = Cat({a, {4}, b, {0xCD}});
  const std::vector<Row> rows = {
      {"TS00", Cat({a, {0x00}, b, {'T', 'S'}}), TitleDecode::kComplete, decoded},
      {"TS01", Cat({a, {0x00}, b, {'T', 'S'}}), TitleDecode::kComplete, decoded},
      {"TS00", Cat({a, {0x00}, b, {'S', 'T'}}), TitleDecode::kUnchecked, untouched},
      {"TS00", Cat({a, {0x00}, b}), TitleDecode::kUnchecked, untouched},
      {"TS00", {'S'}, TitleDecode::kUnchecked, untouched},
      {"TS00", {}, TitleDecode::kUnchecked, untouched},
      // A plain block is never tested for the check bytes: they would be pixels here.
      {"TC00", Cat({a, {0x00}, b}), TitleDecode::kComplete, decoded},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.variant) + " of " + std::to_string(row.data.size()) + " bytes");
    Bytes file = Header(row.variant, 1, 2, static_cast<std::uint32_t>(row.data.size()));
    if (row.variant[3] == '1') file.insert(file.end(), {0, 0});
    file.insert(file.end(), row.data.begin(), row.data.end());
    TitleFile parsed;
    Bytes surface;
    EXPECT_EQ(DecodeFile(file, &parsed, &surface), row.status);
    EXPECT_EQ(surface, row.expected);
  }
}

TEST(TitleFileLayer, UnscramblingWithTheUnwrittenKeyChangesNothing) {
  for (std::size_t size : {0, 1, 3, 1023, 1024, 1025, 2048, 3001}) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>(i * 7 + 1);
    const Bytes before = data;
    UnscrambleTitleData(data.data(), data.size());
    EXPECT_EQ(data, before) << size;
  }
}

}  // namespace
