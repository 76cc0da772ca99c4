// Bitmap surfaces over real DIB sections, and the title picture loader over real files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "image/surface_win.h"
#include "image/title_codec.h"
#include "image/title_image_win.h"
#include "settings/resource_opener.h"
#include "support/wine_test.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(Surface, StrideAndInfoBlock) {
  struct Row {
    int width, height, eight_bit, stride;
  };
  const Row rows[] = {{1, 3, 0, 4},  {4, 2, 0, 12}, {5, 7, 0, 16}, {640, 480, 0, 1920},
                      {1, 5, 1, 4},  {8, 2, 1, 8},  {9, 3, 1, 12}, {3, -4, 0, 12}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height) +
                 (row.eight_bit ? " 8-bit" : " 24-bit"));
    Surface* s = CreateSurface(row.width, row.height, row.eight_bit, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->width, row.width);
    EXPECT_EQ(s->height, row.height < 0 ? -row.height : row.height);
    EXPECT_EQ(s->stride, row.stride);
    EXPECT_EQ(s->eight_bit, row.eight_bit);
    const BITMAPINFOHEADER& h = s->info->bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, row.width);
    EXPECT_EQ(h.biHeight, -row.height) << "positive requests are top-down";
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, row.eight_bit ? 8 : 24);
    EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(h.biSizeImage | h.biXPelsPerMeter | h.biYPelsPerMeter | h.biClrImportant, 0u);
    if (row.eight_bit) {
      EXPECT_EQ(h.biClrUsed, 256u);
      ASSERT_EQ(reinterpret_cast<unsigned char*>(s->palette), reinterpret_cast<unsigned char*>(s->info) + 40);
      const Bytes black(256 * sizeof(RGBQUAD), 0);
      EXPECT_EQ(std::memcmp(s->palette, black.data(), black.size()), 0) << "palette starts black";
    } else {
      EXPECT_EQ(h.biClrUsed, 0u);
      EXPECT_EQ(s->palette, nullptr);
    }
    // The system agrees on the row size, and the whole pixel memory is there.
    ASSERT_NE(s->bitmap, nullptr);
    ASSERT_NE(s->pixels, nullptr);
    DIBSECTION section;
    ASSERT_EQ(GetObjectA(s->bitmap, sizeof section, &section), static_cast<int>(sizeof section));
    EXPECT_EQ(section.dsBm.bmWidthBytes, row.stride);
    EXPECT_EQ(section.dsBm.bmBits, s->pixels);
    std::memset(s->pixels, 0x5A, static_cast<std::size_t>(s->stride) * s->height);
    EXPECT_EQ(ReleaseSurface(s, 0), 0);
  }
}

// The first row in memory is the top row for a positive request, the bottom row otherwise.
TEST(Surface, RowOrderFollowsTheSignOfTheHeight) {
  for (int height : {2, -2}) {
    Surface* s = CreateSurface24(1, height, 0);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->pixels, nullptr);
    std::memset(s->pixels, 0, 2 * s->stride);
    s->pixels[2] = 0xFF;  // red in the first row of memory
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, s->bitmap);
    EXPECT_EQ(GetPixel(dc, 0, height > 0 ? 0 : 1), RGB(255, 0, 0)) << height;
    EXPECT_EQ(GetPixel(dc, 0, height > 0 ? 1 : 0), RGB(0, 0, 0)) << height;
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseSurface(s, 0);
  }
}

std::vector<Surface*> ListFromNewest() {
  std::vector<Surface*> list;
  Surface* expected_newer = nullptr;
  for (Surface* s = NewestSurface(); s; s = s->older) {
    EXPECT_EQ(s->newer, expected_newer);
    list.push_back(s);
    expected_newer = s;
  }
  return list;
}

TEST(Surface, ListAndKeepFlag) {
  ASSERT_EQ(NewestSurface(), nullptr);
  Surface* a = CreateSurface24(2, 2, 0);
  Surface* b = CreateSurface24(2, 2, 1);  // kept
  Surface* c = CreateSurface(2, 2, 1, 0);
  Surface* d = CreateSurface24(2, 2, 0);
  EXPECT_EQ(ListFromNewest(), (std::vector<Surface*>{d, c, b, a}));

  EXPECT_EQ(ReleaseSurface(d, 0), 0);  // the newest: the next older one becomes the head
  EXPECT_EQ(ListFromNewest(), (std::vector<Surface*>{c, b, a}));
  EXPECT_EQ(ReleaseSurface(b, 0), 1) << "kept surfaces need force";
  EXPECT_EQ(ListFromNewest(), (std::vector<Surface*>{c, b, a}));
  EXPECT_EQ(ReleaseSurface(b, 1), 0);  // the middle: neighbours joined
  EXPECT_EQ(ListFromNewest(), (std::vector<Surface*>{c, a}));
  EXPECT_EQ(ReleaseSurface(a, 0), 0);
  EXPECT_EQ(ListFromNewest(), (std::vector<Surface*>{c}));
  EXPECT_EQ(ReleaseSurface(c, 0), 0);  // alone: the list empties
  EXPECT_EQ(NewestSurface(), nullptr);
  EXPECT_EQ(ReleaseSurface(nullptr, 0), 0);
  EXPECT_EQ(ReleaseSurface(nullptr, 1), 0);
}

TEST(Surface, SizesWithoutASection) {
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{{0, 5}, {-3, 5}, {5, 0}}) {
    Surface* s = CreateSurface24(w, h, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->pixels, nullptr) << w << "x" << h;
    EXPECT_EQ(ReleaseSurface(s, 0), 0);
  }
  EXPECT_EQ(NewestSurface(), nullptr);
}

// LoadTitleImage over files in the current directory.
Bytes Header(const char* variant, std::int32_t w, std::int32_t h, std::uint32_t size) {
  Bytes out = {0x98, 0x5A, 0x92, 0x9A};
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(variant[i]));
  for (std::uint32_t v : {static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), size}) {
    out.resize(out.size() + 4);
    StoreU32(&out[out.size() - 4], v);
  }
  return out;
}

Bytes Gradient(int w, int h) {
  Bytes px(3 * static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < px.size(); ++i) px[i] = static_cast<unsigned char>(i % 3 == 0 ? i / 3 : i % 251);
  return px;
}

class TitleImage : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlainFileSwitch(1);
    folder_ = wt::TempDir() + "\\pv_title_image_test";
    wt::MakeDirs(folder_);
    SetCurrentDirectoryA(folder_.c_str());
  }
  void TearDown() override {
    SetCurrentDirectoryA(wt::TempDir().c_str());
    wt::RemoveTree(folder_);
    EXPECT_EQ(NewestSurface(), nullptr) << "every loaded surface was released";
  }
  Surface* Load(const Bytes& file) {
    wt::WriteFile(folder_ + "\\insttscr.rct", std::string(file.begin(), file.end()));
    return LoadTitleImage("insttscr.rct");
  }
  // True when row y of the surface holds exactly `packed`'s row y.
  static bool RowMatches(const Surface* s, const Bytes& packed, int y) {
    const std::size_t row = 3 * static_cast<std::size_t>(s->width);
    return std::memcmp(s->pixels + y * s->stride, &packed[y * row], row) == 0;
  }
  static bool Blank(const Surface* s) {
    for (int i = 0; i < s->stride * s->height; ++i) {
      if (s->pixels[i]) return false;
    }
    return true;
  }
  std::string folder_;
};

TEST_F(TitleImage, DecodesEveryVariantIntoTheSurface) {
  for (TitleVariant variant : {TitleVariant::kTC00, TitleVariant::kTS00, TitleVariant::kTC01, TitleVariant::kTS01}) {
    for (int w : {1, 4, 5, 167}) {
      SCOPED_TRACE(std::string(TitleVariantName(variant)) + " width " + std::to_string(w));
      const Bytes px = Gradient(w, 9);
      Surface* s = Load(EncodeTitleFile(px.data(), w, 9, variant, std::string(300, 'N')));
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(s->width, w);
      EXPECT_EQ(s->height, 9);
      EXPECT_EQ(s->keep, 0);
      EXPECT_EQ(s->eight_bit, 0);
      for (int y = 0; y < 9; ++y) EXPECT_TRUE(RowMatches(s, px, y)) << "row " << y;
      EXPECT_EQ(ReleaseSurface(s, 0), 0);
    }
  }
}

TEST_F(TitleImage, BrokenFiles) {
  const Bytes px = Gradient(6, 4);
  Bytes unchecked = EncodeTitleFile(px.data(), 6, 4, TitleVariant::kTS00);
  unchecked.back() = 'X';
  Bytes truncated = EncodeTitleFile(px.data(), 6, 4, TitleVariant::kTC00);
  truncated.pop_back();
  const Bytes first_row_only = [&] {
    Bytes f = Header("TC00", 6, 4, 3 + 1 + 15);
    f.insert(f.end(), px.begin(), px.begin() + 3);
    f.push_back(4);  // literal of 5 pixels, then the data ends
    f.insert(f.end(), px.begin() + 3, px.begin() + 18);
    return f;
  }();
  const Bytes header = Header("TC00", 6, 4, 3);
  struct Row {
    const char* name;
    Bytes file;
    bool surface;
    bool blank;
  };
  const Row rows[] = {
      {"no check bytes: a blank surface of the stated size", unchecked, true, true},
      {"data block stays short: blank after a few attempts", truncated, true, true},
      {"stream ends early: the decoded part stays", first_row_only, true, false},
      {"other variant", Header("TC02", 6, 4, 0), false, false},
      {"not the magic", Bytes(40, 'x'), false, false},
      {"header cut short", Bytes(header.begin(), header.begin() + 12), false, false},
      {"zero width", Header("TC00", 0, 4, 0), false, false},
      {"too large", Header("TS00", 16385, 16385, 0), false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Surface* s = Load(row.file);
    ASSERT_EQ(s != nullptr, row.surface);
    if (!s) continue;
    EXPECT_EQ(s->width, 6);
    EXPECT_EQ(s->height, 4);
    EXPECT_EQ(Blank(s), row.blank);
    if (!row.blank) {
      EXPECT_TRUE(RowMatches(s, px, 0));
      EXPECT_FALSE(RowMatches(s, px, 1));
    }
    ReleaseSurface(s, 0);
  }
}

}  // namespace
