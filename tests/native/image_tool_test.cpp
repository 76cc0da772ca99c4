// panvester-pack image: title picture -> PNG/BMP -> title picture keeps every pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/title_codec.h"

namespace {

using Bytes = std::vector<unsigned char>;

const std::string kTool = std::string(PV_BINARY_DIR) + "/tools/pack/panvester-pack";

std::string Scratch(const std::string& name) {
  return std::string(PV_BINARY_DIR) + "/image_tool_test_" + name;
}

Bytes Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Save(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int RunImage(const std::string& args) {
  return std::system((kTool + " image " + args + " >/dev/null 2>&1").c_str());
}

Bytes Decode(const Bytes& file, int* w, int* h) {
  TitleFile parsed;
  EXPECT_EQ(ParseTitleFile(file.data(), file.size(), &parsed), TitleRead::kOk);
  *w = parsed.width;
  *h = parsed.height;
  Bytes px(3 * static_cast<std::size_t>(parsed.width) * parsed.height);
  EXPECT_EQ(DecodeTitleFile(&parsed, px.data(), 3 * static_cast<std::size_t>(parsed.width)),
            TitleDecode::kComplete);
  return px;
}

TEST(ImageTool, RoundTripsThroughPngAndBmp) {
  const int w = 37, h = 23;
  Bytes px(3 * w * h);
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<unsigned char>((i * 13) ^ (i / 111));
  Save(Scratch("in.rct"), EncodeTitleFile(px.data(), w, h, TitleVariant::kTS01, "source"));
  for (const char* ext : {".png", ".bmp", ".PNG"}) {
    SCOPED_TRACE(ext);
    const std::string picture = Scratch(std::string("mid") + ext);
    ASSERT_EQ(RunImage(Scratch("in.rct") + " -o " + picture), 0);
    for (const char* variant : {"TC00", "TS00", "TC01", "TS01"}) {
      ASSERT_EQ(RunImage(picture + " -o " + Scratch("out.rct") + " --variant " + variant + " --name x"), 0);
      const Bytes out = Load(Scratch("out.rct"));
      ASSERT_GE(out.size(), 8u);
      EXPECT_EQ(std::string(out.begin() + 4, out.begin() + 8), variant);
      int ow = 0, oh = 0;
      EXPECT_EQ(Decode(out, &ow, &oh), px);
      EXPECT_EQ(ow, w);
      EXPECT_EQ(oh, h);
    }
  }
}

TEST(ImageTool, RefusesWhatItCannotRead) {
  Bytes px(3 * 4 * 4, 9);
  Bytes damaged = EncodeTitleFile(px.data(), 4, 4, TitleVariant::kTS00);
  damaged.back() = 'X';  // check bytes gone
  Save(Scratch("damaged.rct"), damaged);
  Save(Scratch("text.png"), Bytes{'n', 'o', 't'});
  EXPECT_NE(RunImage(Scratch("damaged.rct") + " -o " + Scratch("d.png")), 0);
  EXPECT_NE(RunImage(Scratch("text.png") + " -o " + Scratch("t.rct")), 0);
  EXPECT_NE(RunImage(Scratch("damaged.rct") + " -o " + Scratch("d.gif")), 0);
}

// 32-bit sources as painting programs write them: plain, and with bit fields and a
// version 5 header; the alpha byte is ignored.
TEST(ImageTool, Reads32BitBmpIgnoringAlpha) {
  const int w = 3, h = 2;
  Bytes px(3 * w * h);
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<unsigned char>(i * 37 + 5);
  auto put32 = [](Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  for (const bool fields : {false, true}) {
    SCOPED_TRACE(fields ? "bit fields, version 5 header" : "plain");
    const std::size_t info = fields ? 124 : 40, offset = 14 + info;
    Bytes bmp(offset + 4 * w * h, 0);
    bmp[0] = 'B', bmp[1] = 'M';
    put32(bmp, 2, static_cast<std::uint32_t>(bmp.size()));
    put32(bmp, 10, static_cast<std::uint32_t>(offset));
    put32(bmp, 14, static_cast<std::uint32_t>(info));
    put32(bmp, 18, w);
    put32(bmp, 22, h);  // bottom-up
    bmp[26] = 1, bmp[28] = 32;
    if (fields) {
      put32(bmp, 30, 3);
      put32(bmp, 54, 0x00FF0000), put32(bmp, 58, 0x0000FF00), put32(bmp, 62, 0x000000FF), put32(bmp, 66, 0xFF000000);
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        unsigned char* stored = &bmp[offset + 4 * ((h - 1 - y) * w + x)];
        std::copy_n(&px[3 * (y * w + x)], 3, stored);
        stored[3] = static_cast<unsigned char>(x * 100);  // alpha
      }
    }
    Save(Scratch("alpha.bmp"), bmp);
    ASSERT_EQ(RunImage(Scratch("alpha.bmp") + " -o " + Scratch("alpha.rct")), 0);
    int ow = 0, oh = 0;
    EXPECT_EQ(Decode(Load(Scratch("alpha.rct")), &ow, &oh), px);
    EXPECT_EQ(ow, w);
    EXPECT_EQ(oh, h);
  }
}

// A title picture whose data block cannot be allocated is a failure, not an empty
// picture written as if all went well (memory is limited through the tool's test hook).
TEST(ImageTool, ReportsATitlePictureItCannotAllocate) {
  const int w = 300, h = 300;
  Bytes px(3 * w * h);
  unsigned seed = 7;
  for (unsigned char& b : px) b = static_cast<unsigned char>((seed = seed * 1103515245 + 12345) >> 16);
  const Bytes file = EncodeTitleFile(px.data(), w, h, TitleVariant::kTC00);
  ASSERT_GT(file.size(), 262144u);
  Save(Scratch("noise.rct"), file);
  std::remove(Scratch("noise.bmp").c_str());
  const std::string command = "PANVESTER_PACK_ALLOC_LIMIT=200000 " + kTool + " image " + Scratch("noise.rct") +
                              " -o " + Scratch("noise.bmp") + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  EXPECT_NE(pclose(pipe), 0) << output;
  EXPECT_NE(output.find("memory"), std::string::npos) << output;
  EXPECT_FALSE(std::ifstream(Scratch("noise.bmp")).good());
}

}  // namespace
