#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_walk.h"
#include "archive/archive_writer.h"
#include "common/byte_order.h"
#include "archive_test_support.h"

namespace {

TEST(ArchiveNames, SafeRelativeNamesOnly) {
  const struct {
    const char* name;
    bool folder;
    bool ok;
  } rows[] = {
      {"readme.txt", false, true},
      {"data\\", true, true},
      {"data", true, true},  // a folder may omit its closing backslash
      {"data\\scripts\\a.ks", false, true},
      {"\x83\x5C\\\x83\x5C.txt", false, true},  // ソ\ソ.txt
      {"..foo", false, true},
      {"a..b\\c", false, true},
      {"console.txt", false, true},
      {"com10", false, true},
      {"", false, false},
      {"\\a", false, false},
      {"a\\", false, false},
      {"\\", true, false},
      {"a\\\\b", false, false},
      {"..", true, false},
      {"..\\", true, false},
      {"a\\.\\b", false, false},
      {"a\\..", false, false},
      {"a/b", false, false},
      {"c:evil", false, false},
      {"a\\b:stream", false, false},
      {"nul", false, false},
      {"Con.txt", false, false},
      {"x\\LPT1", false, false},
      {"COM3 .log", false, false},
      {"tab\there", false, false},
      {"\x81", false, false},       // lead byte without a trail
      {"\x81\x2F\\x", false, false}, // invalid trail byte
  };
  for (const auto& r : rows) {
    EXPECT_EQ(CheckEntryName(r.name, r.folder) == nullptr, r.ok) << '"' << r.name << '"';
  }
  EXPECT_EQ(CheckEntryName(std::string(259, 'a'), false), nullptr);
  EXPECT_NE(CheckEntryName(std::string(260, 'a'), false), nullptr);
}

TEST(ArchiveNames, SetupFileTestIsALowerCasedSubstringAtCharacterBoundaries) {
  const struct {
    const char* name;
    const char* pattern;
    bool match;
  } rows[] = {
      {"readme.txt", ".txt", true},
      {"README.TXT", ".txt", true},
      {"readme.txt.lnk", ".txt", true},
      {"INSTALL.ENV", "install.env", true},
      {"my_insttscr.rct.bak", "insttscr.rct", true},
      {"readme.tx", ".txt", false},
      {"\x83install.env", "install.env", false},  // 83 69 is one character
      {"\x83" "a.txt", ".txt", true},
      {"\x82\x73\x82\x77\x82\x73", "\x82\x94\x82\x98\x82\x94", true},  // ＴＸＴ vs ｔｘｔ
  };
  for (const auto& r : rows) EXPECT_EQ(IsSetupFile(r.name, r.pattern), r.match) << r.name << " / " << r.pattern;
}

TEST(ArchiveNames, NestedFolderIsACharacterAfterTheFirstBackslash) {
  EXPECT_FALSE(IsNestedFolderName("data\\"));
  EXPECT_FALSE(IsNestedFolderName("data"));
  EXPECT_TRUE(IsNestedFolderName("data\\sub\\"));
  EXPECT_TRUE(IsNestedFolderName("data\\sub"));
  EXPECT_FALSE(IsNestedFolderName("\x83\x5C\\"));  // ソ\ is top-level
  EXPECT_TRUE(IsNestedFolderName("\x83\x5C\\\x83\x5C\\"));
}

TEST(ArchiveLocator, SidecarPathSitsBesideTheExecutable) {
  EXPECT_EQ(SidecarPathFor("C:\\Games\\setup.exe"), "C:\\Games\\instdat.arc");
  EXPECT_EQ(SidecarPathFor("C:setup.exe"), "C:instdat.arc");
  EXPECT_EQ(SidecarPathFor("/tmp/x/setup.exe"), "/tmp/x/instdat.arc");
  EXPECT_EQ(SidecarPathFor("setup.exe"), "instdat.arc");
  // The folder "ソ" ends in 0x5C; the separator is the byte after it.
  EXPECT_EQ(SidecarPathFor("D:\\\x83\x5C\\setup.exe"), "D:\\\x83\x5C\\instdat.arc");
}

std::string Trailer(std::uint32_t offset) {
  unsigned char t[4];
  StoreU32(t, offset);
  return std::string(reinterpret_cast<char*>(t), 4);
}

TEST(ArchiveLocator, AppendedArchiveFoundThroughTheTrailer) {
  TempDir dir;
  const std::string stub(1000, 'M');
  const std::string archive = BuildArchive({{"install.env", "appended", 0}});
  WriteFileBytes(dir / "setup.exe", stub + archive + Trailer(1000));
  LocatedArchive found;
  ASSERT_EQ(LocateArchive((dir / "setup.exe").c_str(), &found), LocateStatus::kFound);
  EXPECT_FALSE(found.sidecar);
  EXPECT_EQ(found.start, 1000);
  EXPECT_EQ(found.length, static_cast<std::int64_t>(archive.size()));  // S - 4 - X
  TempDir out;
  RecordingSink sink;
  ASSERT_TRUE(WalkLocated(found, out.path(), WalkPass::kFull, sink).Ok());
  EXPECT_EQ(ReadFileBytes(out / "install.env"), "appended");
}

TEST(ArchiveLocator, SidecarWinsWhenItOpens) {
  TempDir dir;
  WriteFileBytes(dir / "setup.exe", std::string(64, 'M') + BuildArchive({{"a.txt", "appended", 0}}) + Trailer(64));
  WriteFileBytes(dir / "instdat.arc", BuildArchive({{"a.txt", "sidecar", 0}}));
  LocatedArchive found;
  ASSERT_EQ(LocateArchive((dir / "setup.exe").c_str(), &found), LocateStatus::kFound);
  EXPECT_TRUE(found.sidecar);
  EXPECT_EQ(found.start, 0);
  TempDir out;
  RecordingSink sink;
  ASSERT_TRUE(WalkLocated(found, out.path(), WalkPass::kFull, sink).Ok());
  EXPECT_EQ(ReadFileBytes(out / "a.txt"), "sidecar");
}

TEST(ArchiveLocator, EmptySidecarHasLengthZeroAndFailsToWalk) {
  TempDir dir;
  WriteFileBytes(dir / "instdat.arc", "");
  LocatedArchive found;
  ASSERT_EQ(LocateArchive((dir / "setup.exe").c_str(), &found), LocateStatus::kFound);
  EXPECT_EQ(found.length, 0);
  RecordingSink sink;
  EXPECT_EQ(WalkLocated(found, dir.path(), WalkPass::kSetup, sink).error, WalkError::kShortRead);
}

TEST(ArchiveLocator, EndMarkerOnlyIsAnEmptyArchive) {
  TempDir dir;
  WriteFileBytes(dir / "instdat.arc", std::string(4, '\0'));
  LocatedArchive found;
  ASSERT_EQ(LocateArchive((dir / "setup.exe").c_str(), &found), LocateStatus::kFound);
  EXPECT_EQ(OverallRange(found.length), 1);
  for (WalkPass pass : {WalkPass::kFull, WalkPass::kSetup}) {
    RecordingSink sink;
    ArchiveStream stream(found);
    EXPECT_TRUE(WalkEntries(stream, dir.path(), pass, sink).Ok());
    EXPECT_TRUE(sink.begun.empty());
  }
}

TEST(ArchiveLocator, TrailerOutsideTheFileIsRefused) {
  const struct {
    const char* label;
    std::string bytes;
    LocateStatus status;
  } rows[] = {
      {"no file", "", LocateStatus::kNoFile},
      {"shorter than a trailer", "abc", LocateStatus::kBadTrailer},
      {"offset past the end", std::string(100, 'M') + Trailer(200), LocateStatus::kBadTrailer},
      {"offset inside the trailer", std::string(100, 'M') + Trailer(101), LocateStatus::kBadTrailer},
      {"offset at the trailer", std::string(100, 'M') + Trailer(100), LocateStatus::kFound},
      {"negative as i32", std::string(100, 'M') + Trailer(0xFFFFFFF0u), LocateStatus::kBadTrailer},
  };
  for (const auto& r : rows) {
    TempDir dir;
    if (std::string(r.label) != "no file") WriteFileBytes(dir / "setup.exe", r.bytes);
    LocatedArchive found;
    EXPECT_EQ(LocateArchive((dir / "setup.exe").c_str(), &found), r.status) << r.label;
  }
}

TEST(ArchiveWriter, EntryBytesFollowTheFormat) {
  std::FILE* f = std::tmpfile();
  ASSERT_TRUE(WriteFolderEntry(f, "abcd\\"));
  ASSERT_TRUE(WriteFileEntry(f, "readme.txt", 3, 0x0102030405060708ull, Zlib("abc")));
  ASSERT_TRUE(WriteEndMarker(f));
  ASSERT_TRUE(WriteTrailer(f, 0x11223344u));
  EXPECT_FALSE(WriteFileEntry(f, "..\\x", 3, 0, Zlib("abc")));
  EXPECT_FALSE(WriteFolderEntry(f, "C:\\"));
  std::string bytes(static_cast<std::size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  ASSERT_EQ(std::fread(&bytes[0], 1, bytes.size(), f), bytes.size());
  std::fclose(f);
  const std::string folder = std::string("\x06\x00", 2) + std::string("abcd\\\0", 6) + "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF";
  EXPECT_EQ(bytes.substr(0, folder.size()), folder);
  std::size_t at = folder.size();
  EXPECT_EQ(bytes.substr(at, 13), std::string("\x0B\x00readme.txt\0", 13));
  at += 13;
  EXPECT_EQ(bytes.substr(at, 4), std::string("\x03\0\0\0", 4));
  const std::size_t d = Zlib("abc").size();
  EXPECT_EQ(static_cast<unsigned char>(bytes[at + 4]), d);
  EXPECT_EQ(bytes.substr(at + 8, 8), "\x08\x07\x06\x05\x04\x03\x02\x01");
  EXPECT_EQ(bytes.substr(at + 16, 2), "\x78\x9C");  // default level
  at += 16 + d;
  EXPECT_EQ(bytes.substr(at), std::string("\0\0\0\0\x44\x33\x22\x11", 8));
}

TEST(ArchiveWriter, FiletimeFromUnixTime) {
  EXPECT_EQ(FiletimeFromUnix(0, 0), 116444736000000000ull);
  EXPECT_EQ(FiletimeFromUnix(1, 250), 116444736010000002ull);
  EXPECT_EQ(FiletimeFromUnix(-11644473600ll, 0), 0u);
}

std::vector<std::string> Names(const std::vector<PlannedEntry>& entries) {
  std::vector<std::string> names;
  for (const PlannedEntry& e : entries) names.push_back(e.name);
  return names;
}

TEST(ArchiveWriter, OrderPutsTopFilesThenFoldersThenTheirFiles) {
  std::vector<PlannedEntry> entries = {
      {"save\\", true},         {"data\\scripts\\b.ks", false}, {"game.exe", false},
      {"data\\scripts\\", true}, {"data\\a.bin", false},         {"install.env", false},
      {"data!\\", true},        {"data\\", true},               {"readme.txt", false},
  };
  OrderEntries(&entries);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"game.exe", "install.env", "readme.txt", "data\\",
                                                      "data\\scripts\\", "data!\\", "save\\", "data\\a.bin",
                                                      "data\\scripts\\b.ks"}));
  EXPECT_EQ(FindUnreachableSetupFile(entries), "");
}

TEST(ArchiveWriter, SetupFileInsideAFolderIsUnreachableWithoutANestedFolder) {
  std::vector<PlannedEntry> flat = {{"install.env", false}, {"docs\\", true}, {"docs\\manual.txt", false}};
  OrderEntries(&flat);
  EXPECT_EQ(FindUnreachableSetupFile(flat), "docs\\manual.txt");
  std::vector<PlannedEntry> nested = flat;
  nested.push_back({"docs\\old\\", true});
  OrderEntries(&nested);
  EXPECT_EQ(FindUnreachableSetupFile(nested), "");
}

}  // namespace
