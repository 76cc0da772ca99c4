// The PE reading behind the locator: a setup program signed after packing carries its
// certificate table after the trailer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_walk.h"
#include "archive/signed_image.h"
#include "archive_test_support.h"

namespace {

class StringSource : public ByteSource {
 public:
  explicit StringSource(const std::string& bytes) : bytes_(bytes) {}
  bool ReadAt(std::int64_t offset, void* data, std::size_t size) override {
    if (offset < 0 || static_cast<std::size_t>(offset) + size > bytes_.size()) return false;
    std::memcpy(data, bytes_.data() + offset, size);
    return true;
  }

 private:
  const std::string& bytes_;
};

void Put16(std::string* s, std::size_t at, std::uint16_t v) {
  (*s)[at] = static_cast<char>(v);
  (*s)[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string* s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
}

std::string U32Bytes(std::uint32_t v) {
  std::string s(4, '\0');
  Put32(&s, 0, v);
  return s;
}

struct Section {
  std::uint32_t raw_at;
  std::uint32_t raw_size;
};

constexpr std::size_t kPeAt = 0x80;

std::size_t SecurityEntryAt(bool plus) { return kPeAt + 24 + (plus ? 112 : 96) + 4 * 8; }

// Headers of a PE32 (or PE32+) image with these sections, filled up to the end of the last
// section's raw data.
std::string Image(const std::vector<Section>& sections, bool plus = false, std::uint32_t directories = 16) {
  const std::size_t optional_size = plus ? 240 : 224;
  std::string s(kPeAt + 24 + optional_size + 40 * sections.size(), '\0');
  s[0] = 'M';
  s[1] = 'Z';
  Put32(&s, 0x3C, kPeAt);
  s.replace(kPeAt, 4, std::string("PE\0\0", 4));
  Put16(&s, kPeAt + 4, plus ? 0x8664 : 0x14C);
  Put16(&s, kPeAt + 6, static_cast<std::uint16_t>(sections.size()));
  Put16(&s, kPeAt + 20, static_cast<std::uint16_t>(optional_size));
  const std::size_t optional = kPeAt + 24;
  Put16(&s, optional, plus ? 0x20B : 0x10B);
  Put32(&s, optional + (plus ? 108 : 92), directories);
  std::size_t end = s.size();
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::size_t at = optional + optional_size + 40 * i;
    Put32(&s, at + 16, sections[i].raw_size);
    Put32(&s, at + 20, sections[i].raw_at);
    if (sections[i].raw_size) end = std::max<std::size_t>(end, sections[i].raw_at + sections[i].raw_size);
  }
  s.resize(end, 'S');
  return s;
}

// Appends a COFF symbol table of `count` symbols and a string table of `strings` bytes, as an
// unstripped image keeps them after its sections.
std::string WithSymbols(std::string image, std::uint32_t count, std::uint32_t strings) {
  Put32(&image, kPeAt + 12, static_cast<std::uint32_t>(image.size()));
  Put32(&image, kPeAt + 16, count);
  image.append(18 * count, 'y');
  image += U32Bytes(strings);
  image.append(strings > 4 ? strings - 4 : 0, 's');
  return image;
}

// Appends a certificate table (as a signing tool does: after `padding` zero bytes) and
// points the security directory at it.
std::string Sign(std::string file, std::size_t padding, bool plus = false, std::size_t table = 1000) {
  file.append(padding, '\0');
  const std::size_t at = file.size();
  file.append(table, 'C');
  Put32(&file, SecurityEntryAt(plus), static_cast<std::uint32_t>(at));
  Put32(&file, SecurityEntryAt(plus) + 4, static_cast<std::uint32_t>(table));
  return file;
}

std::int64_t TrailerOf(const std::string& file) {
  StringSource source(file);
  return FindTrailerOffset(source, static_cast<std::int64_t>(file.size()));
}

TEST(SignedImage, LayoutFromTheHeaders) {
  const struct {
    const char* label;
    std::string bytes;
    bool pe;
    std::int64_t image_end;
  } rows[] = {
      {"sections out of order, an empty one", Image({{0x400, 0x200}, {0x1000, 0x800}, {0x600, 0x400}, {0x5000, 0}}),
       true, 0x1800},
      {"PE32+", Image({{0x200, 0x100}}, true), true, 0x300},
      {"no sections", Image({}), true, 0},
      {"symbol and string tables", WithSymbols(Image({{0x400, 0x200}}), 10, 50), true, 0x600 + 180 + 50},
      {"string table cut", WithSymbols(Image({{0x400, 0x200}}), 10, 50).substr(0, 0x600 + 180 + 20), true, 0x600},
      {"too short for a DOS header", "MZ", false, 0},
      {"no MZ", "ZM" + Image({{0x200, 0x100}}).substr(2), false, 0},
      {"PE header past the end", Image({{0x200, 0x100}}).substr(0, kPeAt + 10), false, 0},
      {"section table cut", Image({{0x200, 0x100}}).substr(0, kPeAt + 24 + 224 + 20), false, 0},
  };
  for (const auto& r : rows) {
    StringSource source(r.bytes);
    ImageLayout layout;
    EXPECT_EQ(ReadImageLayout(source, static_cast<std::int64_t>(r.bytes.size()), &layout), r.pe) << r.label;
    if (r.pe) {
      EXPECT_EQ(layout.image_end, r.image_end) << r.label;
      EXPECT_EQ(layout.certificate_size, 0) << r.label;
    }
  }
  std::string unknown = Image({{0x200, 0x100}});
  Put16(&unknown, kPeAt + 24, 0x107);  // a ROM image
  StringSource source(unknown);
  ImageLayout layout;
  EXPECT_FALSE(ReadImageLayout(source, static_cast<std::int64_t>(unknown.size()), &layout));

  const std::string signed_file = Sign(Image({{0x200, 0x100}}, true) + "archive" + U32Bytes(0x300), 3, true, 640);
  StringSource signed_source(signed_file);
  ASSERT_TRUE(ReadImageLayout(signed_source, static_cast<std::int64_t>(signed_file.size()), &layout));
  EXPECT_EQ(layout.certificate_offset, 0x300 + 7 + 4 + 3);
  EXPECT_EQ(layout.certificate_size, 640);
}

TEST(SignedImage, TrailerBeforeATableThatEndsTheFile) {
  const std::string image = Image({{0x400, 0x600}});  // ends at 0xA00
  // The packer pads with zeros after the end marker so that the file is a multiple of 8.
  const std::string packed = image + std::string("ARCHIVE\0\0\0\0", 11) + U32Bytes(0xA00);
  const std::int64_t trailer = static_cast<std::int64_t>(packed.size()) - 4;
  std::string wrong_padding = Sign(packed, 4);
  wrong_padding[packed.size() + 2] = 'x';
  std::string beyond_image = Sign(Image({{0x400, 0x600}}) + "ARCHIVE" + U32Bytes(0x900), 0);
  std::string extra_after = Sign(packed, 0) + "tail";
  const struct {
    const char* label;
    std::string bytes;
    std::int64_t trailer;
  } rows[] = {
      {"unsigned", packed, trailer},
      {"not a PE image", "no image" + U32Bytes(2), 8},
      {"signed, no padding", Sign(packed, 0), trailer},
      {"signed, 1 byte of padding", Sign(packed, 1), trailer},
      {"signed, 4 bytes of padding", Sign(packed, 4), trailer},
      {"signed, 7 bytes of padding", Sign(packed, 7), trailer},
      {"PE32+, 5 bytes of padding", Sign(Image({{0x400, 0x600}}, true) + "ARC" + U32Bytes(0xA00), 5, true),
       0xA00 + 3},
      // What is not the trailer before a table stays as an unsigned file reads it.
      {"8 bytes of padding", Sign(packed, 8), static_cast<std::int64_t>(Sign(packed, 8).size()) - 4},
      {"non-zero padding", wrong_padding, static_cast<std::int64_t>(wrong_padding.size()) - 4},
      {"table not at the end", extra_after, static_cast<std::int64_t>(extra_after.size()) - 4},
      {"offset is not the image's end", beyond_image, static_cast<std::int64_t>(beyond_image.size()) - 4},
      {"no security directory", Sign(Image({{0x400, 0x600}}, false, 4) + "A" + U32Bytes(0xA00), 0),
       static_cast<std::int64_t>(Sign(Image({{0x400, 0x600}}, false, 4) + "A" + U32Bytes(0xA00), 0).size()) - 4},
      // The stub signed before packing: its table lies before the archive.
      {"signed stub, archive after", Sign(image, 0) + "ARCHIVE" + U32Bytes(0xA00 + 1000),
       static_cast<std::int64_t>(Sign(image, 0).size()) + 7},
  };
  for (const auto& r : rows) EXPECT_EQ(TrailerOf(r.bytes), r.trailer) << r.label;

  // A stub that keeps its symbols: the archive starts after them.
  const std::string unstripped = WithSymbols(image, 4, 20);
  const std::int64_t end = static_cast<std::int64_t>(unstripped.size());
  const std::string signed_unstripped = Sign(unstripped + "ARC" + U32Bytes(static_cast<std::uint32_t>(end)), 1);
  EXPECT_EQ(TrailerOf(signed_unstripped), end + 3);
}

TEST(SignedImage, LocatorWalksTheArchiveOfASignedSetup) {
  TempDir dir;
  const std::string image = Image({{0x400, 0x600}});
  const std::string archive = BuildArchive({{"install.env", "signed", 0}});
  for (std::size_t padding : {0u, 3u, 7u}) {
    WriteFileBytes(dir / "setup.exe", Sign(image + archive + U32Bytes(0xA00), padding));
    LocatedArchive found;
    ASSERT_EQ(LocateArchive((dir / "setup.exe").c_str(), &found), LocateStatus::kFound) << padding;
    EXPECT_EQ(found.start, 0xA00);
    EXPECT_EQ(found.length, static_cast<std::int64_t>(archive.size()));
    TempDir out;
    RecordingSink sink;
    ASSERT_TRUE(WalkLocated(found, out.path(), WalkPass::kFull, sink).Ok()) << padding;
    EXPECT_EQ(ReadFileBytes(out / "install.env"), "signed");
  }
}

TEST(SignedImage, ASideCarNeverReplacesASignedArchive) {
  TempDir dir;
  const std::string image = Image({{0x400, 0x600}});
  const std::string own = BuildArchive({{"install.env", "own", 0}});
  WriteFileBytes(dir / "instdat.arc", BuildArchive({{"install.env", "planted", 0}}));
  struct Row {
    const char* label;
    std::string exe;
    std::int32_t length;  // of the archive that must be found
  };
  const Row rows[] = {
      {"signed setup", Sign(image + own + U32Bytes(0xA00), 0), static_cast<std::int32_t>(own.size())},
      // Unsigned, and a signed stub whose archive is the side-car: the side-car still wins.
      {"unsigned setup", image + own + U32Bytes(0xA00), -1},
      {"signed stub", Sign(image, 0), -1},
  };
  for (const Row& r : rows) {
    WriteFileBytes(dir / "setup.exe", r.exe);
    LocatedArchive found;
    ASSERT_EQ(LocateArchive((dir / "setup.exe").c_str(), &found), LocateStatus::kFound) << r.label;
    EXPECT_EQ(found.sidecar, r.length < 0) << r.label;
    TempDir out;
    RecordingSink sink;
    ASSERT_TRUE(WalkLocated(found, out.path(), WalkPass::kFull, sink).Ok()) << r.label;
    EXPECT_EQ(ReadFileBytes(out / "install.env"), r.length < 0 ? "planted" : "own") << r.label;
  }
}

}  // namespace
