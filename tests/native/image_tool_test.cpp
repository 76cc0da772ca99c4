// panvester-pack image: title picture -> PNG/BMP -> title picture keeps every pixel.
#include <gtest/gtest.h>

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

}  // namespace
