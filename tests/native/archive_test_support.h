// Shared by the archive tests: temporary folders, archives built from a list of entries,
// and a sink that records what the walk reports.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../tools/pack/host_sink.h"
#include "archive/archive_reader.h"
#include "archive/archive_stream.h"
#include "archive/archive_writer.h"
#include "common/byte_order.h"

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/pv-archive-test.XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Deterministic bytes: compressible text or noise.
inline std::string MakeContent(std::size_t size, bool noise, unsigned seed = 1) {
  std::string s(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1664525u + 1013904223u;
    s[i] = noise ? static_cast<char>(x >> 24) : static_cast<char>('a' + (i / 7 + (x >> 30)) % 26);
  }
  return s;
}

struct TestEntry {
  std::string name;  // CP932, '\\'-separated; folders end with '\\'
  std::string content;
  std::uint64_t filetime = 0;
  bool folder() const { return !name.empty() && EndsWithBackslash(name); }
};

inline std::vector<unsigned char> Zlib(const std::string& content) {
  std::vector<unsigned char> stream;
  EXPECT_TRUE(CompressStream(reinterpret_cast<const unsigned char*>(content.data()), content.size(), &stream));
  return stream;
}

// Archive bytes for the entries in the given order, end marker included.
inline std::string BuildArchive(const std::vector<TestEntry>& entries) {
  std::FILE* f = std::tmpfile();
  for (const TestEntry& e : entries) {
    if (e.folder()) {
      EXPECT_TRUE(WriteFolderEntry(f, e.name)) << e.name;
    } else {
      EXPECT_TRUE(WriteFileEntry(f, e.name, static_cast<std::int32_t>(e.content.size()), e.filetime,
                                 Zlib(e.content)))
          << e.name;
    }
  }
  WriteEndMarker(f);
  const long size = std::ftell(f);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::rewind(f);
  EXPECT_EQ(std::fread(&bytes[0], 1, bytes.size(), f), bytes.size());
  std::fclose(f);
  return bytes;
}

// A raw entry header, for archives the writer refuses to make.
inline std::string RawHeader(const std::string& name_with_nul, std::int32_t size, std::uint32_t packed) {
  unsigned char length[2];
  unsigned char sizes[8];
  StoreU16(length, static_cast<std::uint16_t>(name_with_nul.size()));
  StoreU32(sizes, static_cast<std::uint32_t>(size));
  StoreU32(sizes + 4, packed);
  return std::string(reinterpret_cast<char*>(length), 2) + name_with_nul +
         std::string(reinterpret_cast<char*>(sizes), 8);
}

// Records progress and can refuse to create chosen outputs.
class RecordingSink : public HostSink {
 public:
  struct Update {
    int file;
    int overall;
  };
  std::vector<std::pair<std::string, int>> begun;  // path, range
  std::vector<Update> updates;
  std::vector<std::string> folders;
  int pumps = 0;
  std::string refuse_output;  // a path whose creation fails

  void CreateFolder(const std::string& path) override {
    folders.push_back(path);
    HostSink::CreateFolder(path);
  }
  bool OpenOutput(const std::string& path) override {
    if (!refuse_output.empty() && path == refuse_output) return false;
    return HostSink::OpenOutput(path);
  }
  void BeginFile(const std::string& path, int range) override { begun.emplace_back(path, range); }
  void UpdateProgress(int file, int overall) override { updates.push_back({file, overall}); }
  void Pump() override { ++pumps; }
};

// Walks archive bytes stored in a side-car into `target`.
// A located archive of one volume, walked from its first entry.
inline WalkOutcome WalkLocated(LocatedArchive& found, const std::string& target, WalkPass pass, WalkSink& sink) {
  ArchiveStream stream(found);
  return WalkEntries(stream, target, pass, sink);
}

inline WalkOutcome WalkBytes(const std::string& bytes, const std::string& target, WalkPass pass,
                             WalkSink& sink, WalkThreads threads = WalkThreads::kOverlapped) {
  std::FILE* f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  WalkOutcome outcome = WalkEntries(f, target, pass, sink, threads);
  std::fclose(f);
  return outcome;
}
