// panvester-pack as a distributor runs it: build, list, verify and extract on real trees.
#include <gtest/gtest.h>

#include <iconv.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "archive/archive_writer.h"
#include "archive/install_list.h"
#include "archive_test_support.h"

namespace {

const std::string kPack = std::string(PV_BINARY_DIR) + "/tools/pack/panvester-pack";

struct PackRun {
  int status;
  std::string output;  // stdout and stderr
};

PackRun Pack(const std::string& args) {
  PackRun run{0, ""};
  std::FILE* p = ::popen((kPack + " " + args + " 2>&1").c_str(), "r");
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, p)) run.output.append(buffer, n);
  const int status = ::pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

void MakeDir(const std::string& path) { ::mkdir(path.c_str(), 0777); }

// How `list` prints a CP932 name.
std::string Cp932ToUtf8ForTest(const std::string& cp932) {
  iconv_t convert = ::iconv_open("UTF-8", "CP932");
  std::string in = cp932, out(cp932.size() * 3 + 1, '\0');
  char* src = &in[0];
  char* dst = &out[0];
  std::size_t src_left = in.size(), dst_left = out.size();
  ::iconv(convert, &src, &src_left, &dst, &dst_left);
  ::iconv_close(convert);
  out.resize(out.size() - dst_left);
  return out;
}

// A game-like tree with a nested folder, a Japanese name and a file over one block.
void MakeGameTree(const std::string& root) {
  MakeDir(root);
  WriteFileBytes(root + "/install.env", "TITLEBAR test\r\n");
  WriteFileBytes(root + "/readme.txt", "read me\r\n");
  WriteFileBytes(root + "/game.exe", MakeContent(0x20001, true, 3));
  MakeDir(root + "/data");
  MakeDir(root + u8"/data/ソース");  // "ソ" has a 0x5C trail byte in CP932; u8: the names on disk are UTF-8
  WriteFileBytes(root + "/data/notes.txt", "inside a folder, after the nested folder");
  WriteFileBytes(root + u8"/data/ソース/表.ks", MakeContent(70000, false));
  WriteFileBytes(root + "/data/empty.bin", "");
  // In UTF-8, "像" ends in 0x8F, which looks like a CP932 lead byte before the separator.
  MakeDir(root + u8"/画像");
  WriteFileBytes(root + u8"/画像/背景.bmp", "BM");
}

TEST(PackTool, SidecarAndSetupProgramRoundTrip) {
  TempDir dir;
  MakeGameTree(dir / "game");
  WriteFileBytes(dir / "stub.exe", "MZ" + MakeContent(3000, true));
  ASSERT_EQ(Pack("build -q " + dir / "game" + " --sidecar " + dir / "instdat.arc").status, 0);
  const PackRun build = Pack("build -q " + dir / "game" + " -o " + dir / "setup.exe --stub " + dir / "stub.exe");
  ASSERT_EQ(build.status, 0) << build.output;
  // The stub comes first, unchanged, and the trailer points right after it.
  const std::string exe = ReadFileBytes(dir / "setup.exe");
  EXPECT_EQ(exe.substr(0, 3002), ReadFileBytes(dir / "stub.exe"));
  EXPECT_EQ(exe.substr(exe.size() - 4), std::string("\xBA\x0B\0\0", 4));  // 3002
  EXPECT_EQ(exe.substr(3002, exe.size() - 3006), ReadFileBytes(dir / "instdat.arc"));

  for (const std::string& archive : {dir / "instdat.arc", dir / "setup.exe"}) {
    SCOPED_TRACE(archive);
    const PackRun verify = Pack("verify " + archive);
    EXPECT_EQ(verify.status, 0) << verify.output;
    const PackRun list = Pack("list " + archive);
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find(u8"data\\ソース\\表.ks"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("131073"), std::string::npos) << list.output;
    const std::string out = dir / "out";
    std::system(("rm -rf '" + out + "'").c_str());
    ASSERT_EQ(Pack("extract " + archive + " " + out).status, 0);
    for (const char* name : {"install.env", "readme.txt", "game.exe", "data/notes.txt", u8"data/ソース/表.ks",
                             "data/empty.bin", u8"画像/背景.bmp"}) {
      EXPECT_EQ(ReadFileBytes(out + "/" + name), ReadFileBytes(dir / "game/" + name)) << name;
      struct stat a, b;
      ASSERT_EQ(::stat((out + "/" + name).c_str(), &a), 0) << name;
      ASSERT_EQ(::stat((dir / "game/" + name).c_str(), &b), 0);
      EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec) << name;
      EXPECT_EQ(a.st_mtim.tv_nsec / 100, b.st_mtim.tv_nsec / 100) << name;
    }
  }
}

TEST(PackTool, OutputIsTheSameWhateverTheNumberOfThreads) {
  TempDir dir;
  MakeGameTree(dir / "game");
  for (int i = 0; i < 40; ++i) {
    WriteFileBytes(dir / "game/data/f" + std::to_string(i) + ".bin", MakeContent(1000 * i + 5, i % 3 == 0, i));
  }
  ASSERT_EQ(Pack("build -q -j 1 " + dir / "game" + " --sidecar " + dir / "one.arc").status, 0);
  ASSERT_EQ(Pack("build -q -j 4 " + dir / "game" + " --sidecar " + dir / "four.arc").status, 0);
  const std::string one = ReadFileBytes(dir / "one.arc");
  EXPECT_GT(one.size(), 100000u);
  EXPECT_TRUE(one == ReadFileBytes(dir / "four.arc"));
}

TEST(PackTool, RefusesTreesTheProgramCouldNotInstall) {
  const struct {
    const char* label;
    void (*make)(const std::string& root);
    const char* message;
  } rows[] = {
      {"no install.env",
       [](const std::string& root) {
         MakeDir(root);
         WriteFileBytes(root + "/game.exe", "x");
       },
       "install.env"},
      {"setup file inside a folder, no nested folder",
       [](const std::string& root) {
         MakeDir(root);
         WriteFileBytes(root + "/install.env", "x");
         MakeDir(root + "/docs");
         WriteFileBytes(root + "/docs/manual.txt", "x");
       },
       "docs\\manual.txt"},
      {"name without a CP932 form",
       [](const std::string& root) {
         MakeDir(root);
         WriteFileBytes(root + "/install.env", "x");
         WriteFileBytes(root + "/smile\xF0\x9F\x98\x80.png", "x");
       },
       "\xF0\x9F\x98\x80"},
      {"the yen sign, which the C library turns into a backslash",
       [](const std::string& root) {
         MakeDir(root);
         WriteFileBytes(root + "/install.env", "x");
         WriteFileBytes(root + u8"/a¥b.dat", "x");
       },
       u8"\"¥\""},
      {"the wave dash, whose code reads back as the full-width tilde",
       [](const std::string& root) {
         MakeDir(root);
         WriteFileBytes(root + "/install.env", "x");
         WriteFileBytes(root + u8"/x\u301Cy.dat", "x");
       },
       u8"\"\u301C\""},
      {"names equal on Windows",
       [](const std::string& root) {
         MakeDir(root);
         WriteFileBytes(root + "/install.env", "x");
         WriteFileBytes(root + "/Data.bin", "x");
         WriteFileBytes(root + "/data.bin", "y");
       },
       "same file"},
      {"a section the program would find unterminated",
       [](const std::string& root) {
         MakeDir(root);
         WriteFileBytes(root + "/install.env", "TITLEBAR x\r\n[reg]\r\n\"a\"=\"b\"\r\n");
       },
       "reg"},
      {"a name Windows keeps for a device",
       [](const std::string& root) {
         MakeDir(root);
         WriteFileBytes(root + "/install.env", "x");
         WriteFileBytes(root + "/aux.dat", "x");
       },
       "device"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.label);
    TempDir dir;
    r.make(dir / "game");
    const PackRun run = Pack("build " + dir / "game" + " --sidecar " + dir / "x.arc");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find(r.message), std::string::npos) << run.output;
    EXPECT_FALSE(PathExists(dir / "x.arc"));
  }
}

TEST(PackTool, BuildConvertsATitlePictureGivenAsPng) {
  TempDir dir;
  const std::string root = dir / "game";
  MakeDir(root);
  WriteFileBytes(root + "/install.env", "TITLEBAR x\r\n");
  const PackRun to_png = Pack("image " + std::string(PV_SOURCE_DIR) + "/examples/sample/insttscr.rct -o " + root +
                              "/insttscr.png");
  ASSERT_EQ(to_png.status, 0) << to_png.output;
  const PackRun build = Pack("build " + root + " --sidecar " + dir / "x.arc");
  ASSERT_EQ(build.status, 0) << build.output;
  const PackRun list = Pack("list " + dir / "x.arc");
  EXPECT_NE(list.output.find("insttscr.rct"), std::string::npos) << list.output;
  EXPECT_EQ(list.output.find("insttscr.png"), std::string::npos) << list.output;
  // The converted picture decodes to the same pixels as the original.
  const PackRun extract = Pack("extract " + dir / "x.arc" + " " + dir / "out");
  ASSERT_EQ(extract.status, 0) << extract.output;
  const PackRun back = Pack("image " + dir / "out/insttscr.rct" + " -o " + dir / "back.png");
  ASSERT_EQ(back.status, 0) << back.output;
  const PackRun original = Pack("image " + std::string(PV_SOURCE_DIR) + "/examples/sample/insttscr.rct -o " +
                                dir / "original.png");
  ASSERT_EQ(original.status, 0);
  EXPECT_EQ(ReadFileBytes(dir / "back.png"), ReadFileBytes(dir / "original.png"));
}

TEST(PackTool, VerifyNamesTheDamagedEntryAndItsOffset) {
  TempDir dir;
  MakeDir(dir / "game");
  WriteFileBytes(dir / "game/install.env", "x");
  WriteFileBytes(dir / "game/z.bin", MakeContent(5000, false));
  ASSERT_EQ(Pack("build -q " + dir / "game" + " --sidecar " + dir / "a.arc").status, 0);
  std::string bytes = ReadFileBytes(dir / "a.arc");
  // UnInst.lst and install.env come before z.bin.
  const std::string list = FormatInstallList({{"UnInst.lst", false}, {"install.env", false}, {"z.bin", false}});
  const std::size_t z_offset = (2 + 11 + 8 + 8 + Zlib(list).size()) + (2 + 12 + 8 + 8 + Zlib("x").size());
  bytes[bytes.size() - 6] ^= 0x40;  // inside z.bin's Adler-32
  WriteFileBytes(dir / "a.arc", bytes);
  const PackRun run = Pack("verify " + dir / "a.arc");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("z.bin"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("byte " + std::to_string(z_offset)), std::string::npos) << run.output;
}

TEST(PackTool, ExtractKeepsUnsafeNamesOut) {
  TempDir dir;
  const std::vector<unsigned char> z = Zlib("evil");
  const std::string bytes = RawHeader(std::string("..\\escaped.txt") + '\0', 4, static_cast<std::uint32_t>(z.size())) +
                            std::string(8, '\0') + std::string(z.begin(), z.end()) + std::string(4, '\0');
  WriteFileBytes(dir / "evil.arc", bytes);
  const PackRun run = Pack("extract " + dir / "evil.arc " + dir / "out");
  EXPECT_NE(run.status, 0);
  EXPECT_FALSE(PathExists(dir / "escaped.txt"));
}

TEST(PackTool, TheSampleBuildsAndVerifies) {
  TempDir dir;
  const PackRun build = Pack("build -q " + std::string(PV_SOURCE_DIR) + "/examples/sample --sidecar " + dir / "s.arc");
  ASSERT_EQ(build.status, 0) << build.output;
  const PackRun verify = Pack("verify " + dir / "s.arc");
  EXPECT_EQ(verify.status, 0) << verify.output;
}

// The uninstaller every installation points to, and the list it removes by.
TEST(PackTool, BuildShipsTheUninstallerAndItsList) {
  TempDir dir;
  MakeGameTree(dir / "game");
  MakeDir(dir / "bin");
  WriteFileBytes(dir / "bin/stub.exe", "MZ" + MakeContent(3000, true));
  WriteFileBytes(dir / "bin/UnInst.exe", "MZ beside the stub");
  WriteFileBytes(dir / "other.exe", "MZ given by option");

  const struct {
    const char* label;
    std::string options;
    std::string own;       // the tree's own UnInst.exe, when it has one
    std::string shipped;   // the UnInst.exe that must come out
  } rows[] = {
      {"beside the stub", "-o " + dir / "s.exe --stub " + dir / "bin/stub.exe", "", "MZ beside the stub"},
      {"given", "-o " + dir / "s.exe --stub " + dir / "bin/stub.exe --uninstaller " + dir / "other.exe", "",
       "MZ given by option"},
      {"the tree's own", "-o " + dir / "s.exe --stub " + dir / "bin/stub.exe", "MZ the distributor's", "MZ the distributor's"},
      {"side-car, given", "--sidecar " + dir / "s.exe --uninstaller " + dir / "other.exe", "", "MZ given by option"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    std::remove((dir / "game/UnInst.exe").c_str());
    if (!row.own.empty()) WriteFileBytes(dir / "game/UnInst.exe", row.own);
    // A stale list in the tree is replaced by the one build makes.
    WriteFileBytes(dir / "game/UnInst.lst", "PanvesterInstallList 1\r\nF gone.bin\r\n");
    const PackRun build = Pack("build -q " + dir / "game " + row.options);
    ASSERT_EQ(build.status, 0) << build.output;
    EXPECT_NE(build.output.find("UnInst.lst in the tree is replaced"), std::string::npos) << build.output;
    const std::string out = dir / "out";
    std::system(("rm -rf '" + out + "'").c_str());
    ASSERT_EQ(Pack("extract " + dir / "s.exe " + out).status, 0);
    EXPECT_EQ(ReadFileBytes(out + "/UnInst.exe"), row.shipped);

    // The list names every entry in the order `list` shows them, itself included.
    std::vector<PlannedEntry> listed;
    std::string error;
    ASSERT_TRUE(ParseInstallList(ReadFileBytes(out + "/UnInst.lst"), &listed, &error)) << error;
    const PackRun list = Pack("list " + dir / "s.exe");
    std::size_t at = 0;
    for (const PlannedEntry& entry : listed) {
      const std::size_t found = list.output.find(Cp932ToUtf8ForTest(entry.name), at);
      ASSERT_NE(found, std::string::npos) << entry.name << "\n" << list.output;
      at = found;
    }
    EXPECT_TRUE(HasTopLevelFile(listed, kUninstallerName) && HasTopLevelFile(listed, kInstallListName));
    const PackRun verify = Pack("verify " + dir / "s.exe");
    EXPECT_EQ(verify.status, 0) << verify.output;
    EXPECT_NE(verify.output.find("UnInst.lst lists all " + std::to_string(listed.size()) + " entries, UnInst.exe present"),
              std::string::npos)
        << verify.output;
  }
  // Without one anywhere the build warns, and so does verify.
  std::remove((dir / "game/UnInst.exe").c_str());
  const PackRun bare = Pack("build -q " + dir / "game --sidecar " + dir / "bare.arc");
  ASSERT_EQ(bare.status, 0) << bare.output;
  EXPECT_NE(bare.output.find("warning: no UnInst.exe"), std::string::npos) << bare.output;
  const PackRun verify = Pack("verify " + dir / "bare.arc");
  EXPECT_EQ(verify.status, 0) << verify.output;
  EXPECT_NE(verify.output.find("warning: no top-level UnInst.exe"), std::string::npos) << verify.output;
}

TEST(PackTool, VerifyRefusesAMissingOrStaleList) {
  TempDir dir;
  const std::string good = FormatInstallList({{"UnInst.lst", false}, {"install.env", false}});
  const std::string stale = FormatInstallList({{"UnInst.lst", false}, {"install.env", false}, {"old.bin", false}});
  const struct {
    const char* label;
    std::vector<TestEntry> entries;
    const char* message;
  } rows[] = {
      {"no list", {{"install.env", "x"}}, "no top-level UnInst.lst"},
      {"stale list", {{"UnInst.lst", stale}, {"install.env", "x"}}, "differs from the archive at entry 3"},
      {"list missing an entry", {{"UnInst.lst", good}, {"install.env", "x"}, {"z.bin", "z"}},
       "differs from the archive at entry 3 (z.bin)"},
      {"damaged list", {{"UnInst.lst", "PanvesterInstallList 1\r\nF ..\\x\r\n"}, {"install.env", "x"}},
       "UnInst.lst: line 2"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    WriteFileBytes(dir / "a.arc", BuildArchive(row.entries));
    const PackRun run = Pack("verify " + dir / "a.arc");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find(row.message), std::string::npos) << run.output;
  }
  WriteFileBytes(dir / "a.arc", BuildArchive({{"UnInst.lst", good}, {"install.env", "x"}}));
  EXPECT_EQ(Pack("verify " + dir / "a.arc").status, 0);
}

}  // namespace
