// panvester-pack as a distributor runs it: build, list, verify and extract on real trees.
#include <gtest/gtest.h>

#include <iconv.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "archive/archive_stream.h"
#include "archive/archive_walk.h"
#include "archive/archive_writer.h"
#include "archive/install_list.h"
#include "common/byte_order.h"
#include "archive_test_support.h"
#include "file_compress.h"
#include "zlib_streams.h"

namespace {

const std::string kPack = std::string(PV_BINARY_DIR) + "/tools/pack/panvester-pack";

struct PackRun {
  int status;
  std::string output;  // stdout and stderr
};

PackRun Pack(const std::string& args, const std::string& environment = "") {
  PackRun run{0, ""};
  std::FILE* p = ::popen((environment + " " + kPack + " " + args + " 2>&1").c_str(), "r");
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

// The program cannot start without a title picture: every tree that packs has one.
const std::string kTitlePicture = std::string(PV_SOURCE_DIR) + "/examples/sample/insttscr.rct";
void AddTitlePicture(const std::string& root) { WriteFileBytes(root + "/insttscr.rct", ReadFileBytes(kTitlePicture)); }

// A game-like tree with a nested folder, a Japanese name and a file over one block.
void MakeGameTree(const std::string& root) {
  MakeDir(root);
  WriteFileBytes(root + "/install.env", "TITLEBAR test\r\n");
  AddTitlePicture(root);
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
  // The stub comes first, unchanged, then the archive, zero bytes up to a file size that
  // is a multiple of 8 (where signing tools append), and the trailer pointing after the stub.
  const std::string exe = ReadFileBytes(dir / "setup.exe");
  const std::string sidecar = ReadFileBytes(dir / "instdat.arc");
  EXPECT_TRUE(exe.substr(0, 3002) == ReadFileBytes(dir / "stub.exe"));
  EXPECT_EQ(exe.substr(exe.size() - 4), std::string("\xBA\x0B\0\0", 4));  // 3002
  EXPECT_EQ(exe.size() % 8, 0u);
  ASSERT_GE(exe.size(), 3002 + sidecar.size() + 4);
  EXPECT_LT(exe.size(), 3002 + sidecar.size() + 4 + 8);
  EXPECT_TRUE(exe.substr(3002, sidecar.size()) == sidecar);
  EXPECT_EQ(exe.substr(3002 + sidecar.size(), exe.size() - 4 - 3002 - sidecar.size()),
            std::string(exe.size() - 4 - 3002 - sidecar.size(), '\0'));

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

// The file entries of an archive without a stub: UTF-8 name ('\\'-separated) to zlib stream.
std::map<std::string, std::string> FileStreams(const std::string& bytes) {
  std::map<std::string, std::string> streams;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t at = 0; const std::size_t n = LoadU16(b + at);) {
    const std::uint32_t packed = LoadU32(b + at + 2 + n + 4);
    const std::string name = Cp932ToUtf8ForTest(bytes.substr(at + 2, n - 1));
    at += 2 + n + 8;
    if (packed == kFolderPacked) continue;
    streams[name] = bytes.substr(at + 8, packed);
    at += 8 + packed;
  }
  return streams;
}

// True when a zlib stream holds nothing but stored blocks.
bool AllStored(const std::string& stream) {
  const auto* s = reinterpret_cast<const unsigned char*>(stream.data());
  for (std::size_t at = 2; at + 5 <= stream.size() && (s[at] & 6) == 0;) {
    const bool last = s[at] & 1;
    at += 5 + (s[at + 1] | s[at + 2] << 8);
    if (last) return at + 4 == stream.size();
  }
  return false;
}

// Plain zlib's reading of a whole stream; empty unless it ends exactly at the stream's end.
std::string Uncompress(const std::string& stream, std::size_t expected_size) {
  std::string out(expected_size + 1, '\0');
  uLongf size = out.size();
  uLong used = stream.size();
  if (uncompress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(stream.data()), &used) !=
          Z_OK ||
      used != stream.size()) {
    return "";
  }
  out.resize(size);
  return out;
}

// Small files are compressed ahead by the workers, files up to 32 MiB whole in memory, larger
// ones in chunks side by side; what deflate cannot shrink is stored. Any thread count gives
// the same bytes, and each stream inflates back to its file, with plain zlib and with the
// program's own walk.
TEST(PackTool, OutputIsTheSameWhateverTheNumberOfThreads) {
  TempDir dir;
  MakeGameTree(dir / "game");
  for (int i = 0; i < 40; ++i) {
    WriteFileBytes(dir / "game/data/f" + std::to_string(i) + ".bin", MakeContent(1000 * i + 5, i % 3 == 0, i));
  }
  const std::vector<unsigned char> zlib = Zlib(MakeContent(600000, false, 11));
  std::string held = MakeContent(12 << 20, false, 5);
  held.replace(1 << 20, 3 << 20, MakeContent(3 << 20, true, 6));
  std::string streamed = MakeContent((33 << 20) + 7, true, 7);
  streamed.replace(20 << 20, 1 << 20, MakeContent(1 << 20, false));
  const struct {
    std::string name;
    std::string content;
    bool stored;
  } rows[] = {
      {"data/held.dat", held, false},
      {"data/noise.bin", MakeContent(300000, true, 10), true},
      {"data/packed.ogg", std::string(zlib.begin(), zlib.end()), true},
      // Over the whole-file limit: judged by samples spread over it, the first one random.
      {"data/chunked.pak", MakeContent(1 << 20, true, 8) + MakeContent((32 << 20) + 7, false, 9), false},
      // Noise but for 1 MiB that no sample meets.
      {u8"画像/streamed.dat", streamed, true},
  };
  for (const auto& row : rows) WriteFileBytes(dir / "game/" + row.name, row.content);
  ASSERT_EQ(Pack("build -q -j 1 " + dir / "game" + " --sidecar " + dir / "one.arc").status, 0);
  const std::string one = ReadFileBytes(dir / "one.arc");
  for (const char* jobs : {"2", "5"}) {
    ASSERT_EQ(Pack("build -q -j " + std::string(jobs) + " " + dir / "game" + " --sidecar " + dir / "n.arc").status, 0);
    EXPECT_TRUE(one == ReadFileBytes(dir / "n.arc")) << jobs << " threads";
  }
  const PackRun extract = Pack("extract " + dir / "one.arc " + dir / "out");
  ASSERT_EQ(extract.status, 0) << extract.output;
  EXPECT_EQ(ReadFileBytes(dir / "out/data/f39.bin"), ReadFileBytes(dir / "game/data/f39.bin"));
  const std::map<std::string, std::string> streams = FileStreams(one);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(ReadFileBytes(dir / "out/" + row.name) == row.content);
    std::string name = row.name;
    name.replace(name.find('/'), 1, "\\");
    ASSERT_EQ(streams.count(name), 1u);
    const std::string& stream = streams.at(name);
    EXPECT_EQ(stream.substr(0, 2), "\x78\x9C");
    EXPECT_EQ(AllStored(stream), row.stored);
    EXPECT_LT(stream.size(), row.stored ? row.content.size() * 1.001 + 11 : row.content.size() * 0.9);
    EXPECT_TRUE(Uncompress(stream, row.content.size()) == row.content);
  }
}

// A large file's chunks from either build's compressor, or stored blocks, joined after the
// zlib header and followed by the Adler-32 of the whole, make one stream that zlib reads.
TEST(PackTool, ChunksJoinIntoOneZlibStream) {
  using Chunker = bool (*)(const unsigned char*, std::size_t, std::size_t, bool, std::vector<unsigned char>*);
  const struct {
    const char* label;
    Chunker chunk;
    std::size_t window;
  } chunkers[] = {
      {"this build's", CompressChunk, kChunkWindow},
      {"zlib, primed", DeflateChunkZlib, 32768},
      {"stored",
       [](const unsigned char* data, std::size_t size, std::size_t, bool last, std::vector<unsigned char>* out) {
         AppendStoredBlocks(data, size, last, out);
         return true;
       },
       0},
  };
  // Noise leaves libdeflate's chunks on a byte boundary (stored blocks), text anywhere.
  const std::string text = MakeContent(700000, false, 3);
  const std::string mixed = MakeContent(300000, true, 4) + text.substr(0, 400000) + "x";
  for (const auto& chunker : chunkers) {
    for (const std::string* input : {&text, &mixed}) {
      for (const std::size_t piece : {std::size_t{65536}, std::size_t{100001}, input->size()}) {
        SCOPED_TRACE(std::string(chunker.label) + ", pieces of " + std::to_string(piece));
        const auto* data = reinterpret_cast<const unsigned char*>(input->data());
        std::vector<unsigned char> stream(kZlibHeader, kZlibHeader + 2);
        for (std::size_t at = 0; at < input->size(); at += piece) {
          const std::size_t n = std::min(piece, input->size() - at);
          ASSERT_TRUE(chunker.chunk(data + at, n, std::min(chunker.window, at), at + n == input->size(), &stream));
        }
        AppendAdler32(Adler32Update(1, data, input->size()), &stream);
        EXPECT_TRUE(Uncompress(std::string(stream.begin(), stream.end()), input->size()) == *input);
      }
    }
  }
  // A stored stream is as long as the decision takes it to be, at block edges too.
  for (const std::size_t size : {0, 1, 65535, 65536, 200000}) {
    SCOPED_TRACE(size);
    const std::string content = MakeContent(size, true, 5);
    std::vector<unsigned char> stream;
    MakeStoredStream(reinterpret_cast<const unsigned char*>(content.data()), size, &stream);
    EXPECT_EQ(stream.size(), StoredStreamSize(size));
    EXPECT_TRUE(Uncompress(std::string(stream.begin(), stream.end()), size) == content);
  }
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
      {"no title picture",
       [](const std::string& root) {
         MakeDir(root);
         WriteFileBytes(root + "/install.env", "TITLEBAR x\r\n");
         WriteFileBytes(root + "/insttscr.bmp", "BM");
       },
       "has no title picture"},
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

// Windows cannot create these names, or strips them so that two entries become one; each
// is refused with the entry named, whether it is a file or a folder.
TEST(PackTool, RefusesNamesWindowsCannotCreate) {
  const struct {
    std::string name;
    const char* why;
  } rows[] = {
      {"a:b.dat", "\":\""},        {"a*b.dat", "\"*\""},       {"a?b.dat", "\"?\""},
      {"a\"b.dat", "\"\"\""},     {"a<b.dat", "\"<\""},       {"a>b.dat", "\">\""},
      {"a|b.dat", "\"|\""},        {"a\\b.dat", "\"\\\""},    {"tab\tname.dat", "control character"},
      {"CON", "device name"},      {"com1.txt", "device name"}, {"Lpt9.log", "device name"},
      {"nul.tar.gz", "device name"}, {u8"COM\u00B9.dat", "device name"},
      {"save.", "dot or a space"}, {"save ", "dot or a space"},
  };
  for (const auto& row : rows) {
    for (const bool folder : {false, true}) {
      SCOPED_TRACE(row.name + (folder ? " (folder)" : " (file)"));
      TempDir dir;
      MakeGameTree(dir / "game");
      const std::string path = dir / "game/data/" + row.name;
      if (folder) {
        MakeDir(path);
      } else {
        WriteFileBytes(path, "x");
      }
      const PackRun run = Pack("build " + dir / "game" + " --sidecar " + dir / "x.arc");
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.output.find("data/" + row.name + ": "), std::string::npos) << run.output;
      EXPECT_NE(run.output.find(row.why), std::string::npos) << run.output;
      EXPECT_FALSE(PathExists(dir / "x.arc"));
    }
  }
  // Near misses that Windows takes as they are.
  TempDir dir;
  MakeGameTree(dir / "game");
  for (const char* name : {"console.dat", "com10.dat", "a.b.c", ".hidden", "lpt.dat"}) {
    WriteFileBytes(dir / "game/" + name, "x");
  }
  const PackRun run = Pack("build " + dir / "game" + " --sidecar " + dir / "x.arc");
  EXPECT_EQ(run.status, 0) << run.output;
}

// Memory that runs out while a worker compresses (limited through the tool's test hook)
// ends the build with a message and exit code 1, and leaves no partial output behind.
TEST(PackTool, RunningOutOfMemoryIsAnError) {
  TempDir dir;
  MakeGameTree(dir / "game");
  WriteFileBytes(dir / "game/data/noise.bin", MakeContent(3 << 20, true, 9));
  WriteFileBytes(dir / "stub.exe", "MZ" + MakeContent(3000, true));
  for (const char* jobs : {"1", "2"}) {
    SCOPED_TRACE(jobs);
    const PackRun run = Pack("build -j " + std::string(jobs) + " " + dir / "game" + " -o " + dir / "s.exe --stub " +
                             dir / "stub.exe --uninstaller " + dir / "stub.exe",
                             "PANVESTER_PACK_ALLOC_LIMIT=1500000");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("data/noise.bin: out of memory"), std::string::npos) << run.output;
    EXPECT_FALSE(PathExists(dir / "s.exe"));
    EXPECT_FALSE(PathExists(dir / "s.exe.part"));
  }
  // Without the limit the same tree packs.
  const PackRun run = Pack("build -q " + dir / "game" + " -o " + dir / "s.exe --stub " + dir / "stub.exe");
  EXPECT_EQ(run.status, 0) << run.output;
}

// The smallest executable a signing tool accepts: headers, one section of code (a single
// `ret`), the image ending at byte 0x400, no certificate table.
std::string MinimalPe() {
  std::string pe(0x400, '\0');
  auto put = [&](std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) pe[at + i] = static_cast<char>(value >> (8 * i));
  };
  pe[0] = 'M', pe[1] = 'Z';
  put(0x3C, 0x40, 4);
  pe.replace(0x40, 4, std::string("PE\0\0", 4));
  put(0x44, 0x8664, 2);  // x86-64
  put(0x46, 1, 2);       // one section
  put(0x54, 240, 2);     // optional header size (PE32+ with 16 directories)
  put(0x56, 0x22, 2);    // executable, large address aware
  const std::size_t opt = 0x58;
  put(opt, 0x20B, 2);
  put(opt + 4, 0x200, 4);            // size of code
  put(opt + 16, 0x1000, 4);          // entry point
  put(opt + 20, 0x1000, 4);          // base of code
  put(opt + 24, 0x140000000ull, 8);  // image base
  put(opt + 32, 0x1000, 4);          // section alignment
  put(opt + 36, 0x200, 4);           // file alignment
  put(opt + 40, 6, 2);               // OS version
  put(opt + 48, 6, 2);               // subsystem version
  put(opt + 56, 0x2000, 4);          // size of image
  put(opt + 60, 0x200, 4);           // size of headers
  put(opt + 68, 3, 2);               // console
  put(opt + 72, 0x100000, 8), put(opt + 80, 0x1000, 8), put(opt + 88, 0x100000, 8), put(opt + 96, 0x1000, 8);
  put(opt + 108, 16, 4);  // data directories
  const std::size_t section = opt + 240;
  pe.replace(section, 5, ".text");
  put(section + 8, 0x200, 4);    // virtual size
  put(section + 12, 0x1000, 4);  // virtual address
  put(section + 16, 0x200, 4);   // raw size
  put(section + 20, 0x200, 4);   // raw offset
  put(section + 36, 0x60000020, 4);
  pe[0x200] = '\xC3';
  return pe;
}

bool RunCommand(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A setup signed after packing keeps working with list, verify and extract, which say that
// it is signed; a stub signed before packing is refused, since the archive would lie outside
// the signature. The certificate is made for the test.
TEST(PackTool, SignedSetupsAreReadAndSignedStubsRefused) {
  TempDir dir;
  MakeGameTree(dir / "game");
  WriteFileBytes(dir / "stub.exe", MinimalPe());
  ASSERT_TRUE(RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=PanvesterTest -keyout " +
                  dir / "key.pem -out " + dir / "cert.pem"));
  const std::string sign = "osslsigncode sign -certs " + dir / "cert.pem -key " + dir / "key.pem -h sha256 -in ";

  ASSERT_TRUE(RunCommand(sign + dir / "stub.exe -out " + dir / "signed-stub.exe"));
  const PackRun refused = Pack("build " + dir / "game -o " + dir / "bad.exe --stub " + dir / "signed-stub.exe");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("sign the finished setup, not the stub"), std::string::npos) << refused.output;
  EXPECT_FALSE(PathExists(dir / "bad.exe"));
  EXPECT_FALSE(PathExists(dir / "bad.exe.part"));

  const PackRun build = Pack("build -q " + dir / "game -o " + dir / "setup.exe --stub " + dir / "stub.exe");
  ASSERT_EQ(build.status, 0) << build.output;
  const PackRun unsigned_verify = Pack("verify " + dir / "setup.exe");
  EXPECT_EQ(unsigned_verify.status, 0) << unsigned_verify.output;
  EXPECT_NE(unsigned_verify.output.find("signature: none"), std::string::npos) << unsigned_verify.output;

  ASSERT_TRUE(RunCommand(sign + dir / "setup.exe -out " + dir / "signed.exe"));
  // The certificate table starts right after the trailer: no padding was needed.
  const std::string original = ReadFileBytes(dir / "setup.exe");
  EXPECT_TRUE(ReadFileBytes(dir / "signed.exe").substr(original.size() - 4, 4) == original.substr(original.size() - 4));
  const PackRun verify = Pack("verify " + dir / "signed.exe");
  EXPECT_EQ(verify.status, 0) << verify.output;
  EXPECT_NE(verify.output.find("signature: present"), std::string::npos) << verify.output;
  EXPECT_NE(verify.output.find("lie inside the signed range"), std::string::npos) << verify.output;
  const PackRun list = Pack("list " + dir / "signed.exe");
  EXPECT_EQ(list.status, 0) << list.output;
  EXPECT_NE(list.output.find(u8"data\\ソース\\表.ks"), std::string::npos) << list.output;
  EXPECT_NE(list.output.find("signature: present"), std::string::npos) << list.output;
  ASSERT_EQ(Pack("extract " + dir / "signed.exe " + dir / "out").status, 0);
  EXPECT_EQ(ReadFileBytes(dir / "out/game.exe"), ReadFileBytes(dir / "game/game.exe"));
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
  AddTitlePicture(dir / "game");
  WriteFileBytes(dir / "game/z.bin", MakeContent(5000, false));
  ASSERT_EQ(Pack("build -q " + dir / "game" + " --sidecar " + dir / "a.arc").status, 0);
  std::string bytes = ReadFileBytes(dir / "a.arc");
  // UnInst.lst, install.env and insttscr.rct come before z.bin.
  std::size_t z_offset = 0;
  for (int entry = 0; entry < 3; ++entry) {
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.data()) + z_offset;
    const std::size_t name_length = LoadU16(at);
    z_offset += 2 + name_length + 16 + LoadU32(at + 2 + name_length + 4);
  }
  ASSERT_EQ(bytes.substr(z_offset, 8), std::string("\x06\x00z.bin\0", 8));
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

// A game in volumes: the setup files all in the setup program itself, every volume within
// its size, a large file's sizes completed in a volume already closed, and the set extracts
// to the same files as the setup of one volume.
TEST(PackTool, VolumesHoldTheSetupFilesFirstAndExtractAsOne) {
  TempDir dir;
  const std::string game = dir / "game";
  MakeGameTree(game);
  // Before install.env in byte order, and far larger than a volume: chunked, and stored.
  WriteFileBytes(game + "/Art.pak", MakeContent(3 << 20, true, 5));
  WriteFileBytes(game + "/Movie.pak", MakeContent(40 << 20, true, 6));
  WriteFileBytes(dir / "stub.exe", "MZ" + MakeContent(3000, true));
  MakeDir(dir / "set");
  const PackRun build = Pack("build -q " + game + " -o " + dir / "set/setup.exe --stub " + dir / "stub.exe" +
                             " --volume-size 2M");
  ASSERT_EQ(build.status, 0) << build.output;
  int volumes = 0;
  for (int n = 2; n < 100; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "instdat.%03d", n);
    struct stat st;
    if (::stat((dir / "set/" + name).c_str(), &st) != 0) break;
    EXPECT_LE(st.st_size, 2 << 20) << name;
    ++volumes;
  }
  EXPECT_GE(volumes, 21);
  const std::string exe = ReadFileBytes(dir / "set/setup.exe");
  EXPECT_LE(exe.size(), 2u << 20);
  EXPECT_EQ(exe.size() % 8, 0u);

  const PackRun verify = Pack("verify " + dir / "set/setup.exe");
  EXPECT_EQ(verify.status, 0) << verify.output;
  ASSERT_EQ(Pack("extract " + dir / "set/setup.exe " + dir / "split").status, 0);
  ASSERT_EQ(Pack("build -q " + game + " -o " + dir / "one.exe --stub " + dir / "stub.exe").status, 0);
  ASSERT_EQ(Pack("extract " + dir / "one.exe " + dir / "whole").status, 0);
  // The same files; only the list's order differs, the setup files first.
  EXPECT_EQ(std::system(("diff -r -x UnInst.lst '" + dir / "split' '" + dir / "whole'").c_str()), 0);

  // The start-up pass finds every setup file with the further volumes gone.
  std::system(("rm -f '" + dir / "set/" + "'instdat.*").c_str());
  LocatedArchive found;
  ASSERT_EQ(OpenArchiveFile((dir / "set/setup.exe").c_str(), false, &found), LocateStatus::kFound);
  EXPECT_EQ(found.volumes.size(), static_cast<std::size_t>(volumes));
  TempDir out;
  RecordingSink sink;
  ArchiveStream first_only(found, nullptr, VolumeUse::kFirstOnly);
  ASSERT_TRUE(WalkEntries(first_only, out.path(), WalkPass::kSetup, sink).Ok());
  EXPECT_EQ(ReadFileBytes(out / "install.env"), ReadFileBytes(game + "/install.env"));
  EXPECT_EQ(ReadFileBytes(out / "insttscr.rct"), ReadFileBytes(game + "/insttscr.rct"));
  // And the tools name the first volume that is missing.
  const PackRun missing = Pack("verify " + dir / "set/setup.exe");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("instdat.002"), std::string::npos) << missing.output;
}

// What cannot be packed is refused before any work, naming the file and the limit; a volume
// size too small for the first volume is refused as such.
TEST(PackTool, RefusesAFileAnEntryCannotHoldAndVolumesTooSmall) {
  TempDir dir;
  const std::string game = dir / "game";
  MakeGameTree(game);
  WriteFileBytes(dir / "stub.exe", "MZ" + MakeContent(3000, true));
  WriteFileBytes(game + "/huge.dat", "");
  ASSERT_EQ(::truncate((game + "/huge.dat").c_str(), 1ll << 31), 0);  // sparse: nothing is read
  const PackRun huge = Pack("build -q " + game + " -o " + dir / "setup.exe --stub " + dir / "stub.exe");
  EXPECT_EQ(huge.status, 1);
  EXPECT_NE(huge.output.find("huge.dat"), std::string::npos) << huge.output;
  EXPECT_NE(huge.output.find("2 GiB"), std::string::npos) << huge.output;
  struct stat st;
  EXPECT_NE(::stat((dir / "setup.exe").c_str(), &st), 0);
  std::remove((game + "/huge.dat").c_str());

  for (const char* size : {"100K", "12X", "0"}) {
    const PackRun small = Pack("build -q " + game + " -o " + dir / "setup.exe --stub " + dir / "stub.exe" +
                               " --volume-size " + size);
    EXPECT_NE(small.status, 0) << size;
    EXPECT_NE(small.output.find(std::string("size")), std::string::npos) << small.output;
  }
}
