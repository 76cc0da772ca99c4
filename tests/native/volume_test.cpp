// Archives far beyond 4 GiB and archives split into volumes, read the way the program reads
// them: the locator, the walk's counters, and each volume checked before it is read.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_stream.h"
#include "archive/archive_walk.h"
#include "archive/volume_set.h"
#include "archive_test_support.h"
#include "platform.h"

namespace {

// A setup program of a few files of zeros, each a stored zlib stream, made up as it is
// read: more than 4 GiB without such a file on disk.
class GeneratedSetup : public ArchiveFile {
 public:
  static constexpr std::int64_t kStub = 4096;
  static constexpr std::int64_t kBlock = 65535;

  GeneratedSetup(int files, std::int64_t file_size) : files_(files), file_size_(file_size) {
    blocks_ = (file_size + kBlock - 1) / kBlock;
    packed_ = 2 + blocks_ * 5 + file_size + 4;
    entry_bytes_ = static_cast<std::int64_t>(Name(0).size()) + 1 + kEntryFixedBytes + kTimeBytes + packed_;
    // Adler-32 of the zeros, doubled up rather than summed over gigabytes.
    std::uint32_t adler = 1;
    std::uint32_t run = static_cast<std::uint32_t>(adler32(0, nullptr, 0));
    const std::vector<unsigned char> zero(1, 0);
    run = static_cast<std::uint32_t>(adler32(run, zero.data(), 1));
    for (std::int64_t bit = 1, left = file_size; left > 0; bit <<= 1, left >>= 1) {
      if (left & 1) adler = static_cast<std::uint32_t>(adler32_combine(adler, run, static_cast<z_off_t>(bit)));
      run = static_cast<std::uint32_t>(adler32_combine(run, run, static_cast<z_off_t>(bit)));
    }
    adler_ = adler;
  }
  static std::string Name(int i) { return "part" + std::to_string(10 + i) + ".bin"; }
  std::int64_t EntryBytes() const { return entry_bytes_ * files_ + 4; }

  std::size_t Read(void* data, std::size_t size) override {
    unsigned char* out = static_cast<unsigned char*>(data);
    const std::int64_t n = std::max<std::int64_t>(0, std::min<std::int64_t>(size, Size() - at_));
    for (std::int64_t i = 0; i < n;) i += Fill(at_ + i, out + i, n - i);
    at_ += n;
    return static_cast<std::size_t>(n);
  }
  bool Seek(std::int64_t offset) override {
    at_ = offset;
    return offset >= 0;
  }
  std::int64_t Tell() override { return at_; }
  std::int64_t Size() override { return kStub + EntryBytes() + 4; }

 private:
  // Bytes from `at`, up to the end of the piece it lies in; how many.
  std::int64_t Fill(std::int64_t at, unsigned char* out, std::int64_t want) {
    std::string piece;
    std::int64_t piece_at = 0;
    if (at < kStub) {
      piece = std::string("MZ") + std::string(kStub - 2, '\0');
    } else if (at >= kStub + EntryBytes()) {
      piece = std::string(4, '\0');
      StoreU32(reinterpret_cast<unsigned char*>(&piece[0]), static_cast<std::uint32_t>(kStub));
      piece_at = kStub + EntryBytes();
    } else {
      const std::int64_t in_archive = at - kStub;
      const std::int64_t entry = in_archive / entry_bytes_;
      const std::int64_t entry_at = kStub + entry * entry_bytes_;
      const std::int64_t head = entry_bytes_ - packed_;
      if (entry >= files_) {
        piece = std::string(4, '\0');
        piece_at = kStub + files_ * entry_bytes_;
      } else if (at < entry_at + head + 2) {
        piece = RawHeader(Name(static_cast<int>(entry)) + '\0', static_cast<std::int32_t>(file_size_),
                          static_cast<std::uint32_t>(packed_)) +
                std::string(8, '\0') + "\x78\x01";
        piece_at = entry_at;
      } else if (at >= entry_at + entry_bytes_ - 4) {
        unsigned char sum[4];
        StoreU32(sum, adler_);
        std::reverse(sum, sum + 4);  // big-endian
        piece.assign(reinterpret_cast<char*>(sum), 4);
        piece_at = entry_at + entry_bytes_ - 4;
      } else {
        const std::int64_t q = at - (entry_at + head + 2);
        const std::int64_t block = q / (kBlock + 5);
        const std::int64_t length = block == blocks_ - 1 ? file_size_ - block * kBlock : kBlock;
        piece_at = entry_at + head + 2 + block * (kBlock + 5);
        if (at < piece_at + 5) {
          unsigned char h[5] = {static_cast<unsigned char>(block == blocks_ - 1 ? 1 : 0)};
          StoreU16(h + 1, static_cast<std::uint16_t>(length));
          StoreU16(h + 3, static_cast<std::uint16_t>(~length));
          piece.assign(reinterpret_cast<char*>(h), 5);
        } else {
          const std::int64_t n = std::min(want, piece_at + 5 + length - at);
          std::memset(out, 0, static_cast<std::size_t>(n));
          return n;
        }
      }
    }
    const std::int64_t n = std::min<std::int64_t>(want, static_cast<std::int64_t>(piece.size()) - (at - piece_at));
    std::memcpy(out, piece.data() + (at - piece_at), static_cast<std::size_t>(n));
    return n;
  }

  int files_;
  std::int64_t file_size_, blocks_ = 0, packed_ = 0, entry_bytes_ = 0;
  std::uint32_t adler_ = 1;
  std::int64_t at_ = 0;
};

// Counts what the walk writes instead of writing it.
class CountingSink : public WalkSink {
 public:
  std::vector<std::int64_t> sizes;
  int last_overall = 0;
  void CreateFolder(const std::string&) override {}
  bool OpenOutput(const std::string&) override {
    sizes.push_back(0);
    return true;
  }
  bool WriteOutput(const unsigned char*, std::size_t size) override {
    sizes.back() += static_cast<std::int64_t>(size);
    return true;
  }
  bool CloseOutput() override { return true; }
  void UpdateProgress(int, int overall) override { last_overall = overall; }
};

TEST(BigArchive, MoreThanFourGibibytesAreLocatedCountedAndWalkedToTheEnd) {
  // Past 8 GiB, where a 16-bit range of whole blocks runs out.
  const int files = 6;
  const std::int64_t file_size = (3ll << 29) - 12345;  // 1.5 GiB less a little
  LocatedArchive found;
  ASSERT_EQ(LocateInFile(std::make_unique<GeneratedSetup>(files, file_size), false, &found), LocateStatus::kFound);
  auto* setup = static_cast<GeneratedSetup*>(found.file.get());
  EXPECT_EQ(found.start, GeneratedSetup::kStub);
  EXPECT_EQ(found.length, setup->EntryBytes());
  EXPECT_GT(found.length, 8ll << 30);

  std::uint64_t total = 0;
  {
    ArchiveStream headers(found);
    ASSERT_TRUE(SumUncompressedSizes(headers, &total, 4096));
  }
  EXPECT_EQ(total, files * ((static_cast<std::uint64_t>(file_size) + 4095) / 4096 * 4096));

  CountingSink sink;
  ArchiveStream stream(found);
  ASSERT_TRUE(WalkEntries(stream, "/target/", WalkPass::kFull, sink).Ok());
  EXPECT_EQ(sink.sizes, std::vector<std::int64_t>(files, file_size));
  // The bar ends at its range, which is far past what 16 bits hold.
  EXPECT_EQ(sink.last_overall, OverallRange(found.length));
  EXPECT_GT(OverallRange(found.length), 0xFFFF);
}

// Further volumes from a folder, as the tools and the program open them.
class FolderVolumes : public VolumeOpener {
 public:
  explicit FolderVolumes(std::string folder) : folder_(std::move(folder)) {}
  std::unique_ptr<ArchiveFile> OpenVolume(const std::string& name) override {
    FilePtr file(std::fopen((folder_ + "/" + name).c_str(), "rb"));
    if (!file) return nullptr;
    return std::make_unique<StdioArchiveFile>(std::move(file));
  }
  std::unique_ptr<Sha256> NewDigest() override { return NewSha256(); }
  std::vector<std::string> opened;

 private:
  std::string folder_;
};

VolumeRecord RecordOf(const std::string& bytes) {
  VolumeRecord record;
  record.size = static_cast<std::int64_t>(bytes.size());
  std::unique_ptr<Sha256> digest = NewSha256();
  digest->Update(bytes.data(), bytes.size());
  EXPECT_TRUE(digest->Final(record.digest.data()));
  return record;
}

// Writes the archive as a side-car cut at `cuts` (offsets into the entry bytes) and returns
// the volumes' bytes.
std::vector<std::string> WriteVolumes(const std::string& folder, const std::string& archive,
                                      const std::vector<std::size_t>& cuts) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    parts.push_back(archive.substr(from, cut - from));
    from = cut;
  }
  parts.push_back(archive.substr(from));
  std::vector<VolumeRecord> records;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    records.push_back(RecordOf(parts[i]));
    WriteFileBytes(folder + "/" + VolumeName(static_cast<int>(i) + 1), parts[i]);
  }
  const std::vector<unsigned char> table = EncodeVolumeTable(records, 0);
  WriteFileBytes(folder + "/instdat.arc", parts[0] + std::string(table.begin(), table.end()));
  return parts;
}

// Where a file entry's stream begins in the archive.
std::size_t StreamOf(const std::string& archive, const std::string& name) {
  const std::size_t at = archive.find(name + '\0');
  EXPECT_NE(at, std::string::npos) << name;
  return at + name.size() + 1 + 8 + kTimeBytes;
}

const std::vector<TestEntry> kGame = {
    {"install.env", "TITLEBAR volumes\r\n", 0},
    {"readme.txt", "read me", 0},
    {"game.exe", std::string(3000, 'g') + MakeContent(500, true, 7), 0},
    {"data\\", "", 0},
    {"data\\voice\\", "", 0},
    {"data\\empty.bin", "", 0},
    {"data\\voice\\line.ogg", MakeContent(900, true, 3), 0},
};

// A volume set in memory, for the many cuts below.
class MemoryFile : public ArchiveFile {
 public:
  explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(void* data, std::size_t size) override {
    const std::size_t n = at_ >= bytes_.size() ? 0 : std::min(size, bytes_.size() - at_);
    std::memcpy(data, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }
  bool Seek(std::int64_t offset) override {
    at_ = static_cast<std::size_t>(offset);
    return offset >= 0;
  }
  std::int64_t Tell() override { return static_cast<std::int64_t>(at_); }
  std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

class MemoryVolumes : public VolumeOpener {
 public:
  std::map<std::string, std::string> volumes;
  std::unique_ptr<ArchiveFile> OpenVolume(const std::string& name) override {
    auto it = volumes.find(name);
    if (it == volumes.end()) return nullptr;
    return std::make_unique<MemoryFile>(it->second);
  }
  std::unique_ptr<Sha256> NewDigest() override { return NewSha256(); }
};

// Keeps what the walk writes.
class MemorySink : public WalkSink {
 public:
  std::map<std::string, std::string> files;
  void CreateFolder(const std::string&) override {}
  bool OpenOutput(const std::string& path) override {
    current_ = &files[path];
    current_->clear();
    return true;
  }
  bool WriteOutput(const unsigned char* data, std::size_t size) override {
    current_->append(reinterpret_cast<const char*>(data), size);
    return true;
  }
  bool CloseOutput() override { return true; }

 private:
  std::string* current_ = nullptr;
};

TEST(Volumes, ACutAtAnyByteInstallsTheSameFiles) {
  const std::string archive = BuildArchive(kGame);
  // Every byte is a cut: inside a name length, a name, the sizes, a time stamp, a stream,
  // right at an entry's end and inside the end marker. A second cut lands a little further
  // on, so some volumes hold no more than a byte or two of one field.
  for (std::size_t cut = 1; cut < archive.size(); ++cut) {
    for (std::size_t second : {std::size_t{0}, cut + 1, cut + 37}) {
      if (second != 0 && second >= archive.size()) continue;
      MemoryVolumes opener;
      std::string first = archive.substr(0, cut);
      std::vector<VolumeRecord> records;
      const std::size_t second_end = second ? second : archive.size();
      opener.volumes["instdat.002"] = archive.substr(cut, second_end - cut);
      if (second) opener.volumes["instdat.003"] = archive.substr(second);
      for (const auto& v : opener.volumes) records.push_back(RecordOf(v.second));
      const std::vector<unsigned char> table = EncodeVolumeTable(records, 0);
      LocatedArchive found;
      ASSERT_EQ(LocateInFile(std::make_unique<MemoryFile>(first + std::string(table.begin(), table.end())), true,
                             &found),
                LocateStatus::kFound);
      ASSERT_EQ(found.TotalLength(), static_cast<std::int64_t>(archive.size()));
      MemorySink sink;
      ArchiveStream stream(found, &opener, VolumeUse::kChecked);
      ASSERT_TRUE(WalkEntries(stream, "T", WalkPass::kFull, sink, WalkThreads::kSingle).Ok()) << cut << " " << second;
      for (const TestEntry& e : kGame) {
        if (e.folder()) continue;
        ASSERT_EQ(sink.files["T\\" + e.name], e.content) << e.name << " cut " << cut;
      }
    }
  }
}

// Walks the side-car set in `dir` into `out`.
WalkOutcome WalkSet(const std::string& dir, VolumeUse use, WalkPass pass, const std::string& out) {
  LocatedArchive found;
  if (OpenArchiveFile((dir + "/instdat.arc").c_str(), true, &found) != LocateStatus::kFound) {
    ADD_FAILURE() << "no archive in " << dir;
    WalkOutcome none;
    none.error = WalkError::kShortRead;
    return none;
  }
  FolderVolumes opener(dir);
  RecordingSink sink;
  ArchiveStream stream(found, &opener, use);
  return WalkEntries(stream, out, pass, sink);
}

TEST(Volumes, TheSetupPassReadsOnlyTheFirstVolume) {
  const std::string archive = BuildArchive(kGame);
  TempDir dir;
  // Cut inside game.exe, after the setup files: the further volume is not even there.
  const std::size_t cut = StreamOf(archive, "game.exe") + 10;
  WriteVolumes(dir.path(), archive, {cut});
  std::remove((dir / "instdat.002").c_str());
  TempDir out;
  ASSERT_TRUE(WalkSet(dir.path(), VolumeUse::kFirstOnly, WalkPass::kSetup, out.path()).Ok());
  EXPECT_EQ(ReadFileBytes(out / "install.env"), kGame[0].content);
  EXPECT_EQ(ReadFileBytes(out / "readme.txt"), kGame[1].content);
}

// A set not all there is refused before anything is written; a volume whose bytes are not
// the recorded ones, before a byte of it is.
TEST(Volumes, AMissingCutOrForeignVolumeIsFoundBeforeAByteOfItIsWritten) {
  const std::string archive = BuildArchive(kGame);
  const std::string other = BuildArchive({{"install.env", "TITLEBAR other\r\n", 0},
                                          {"game.exe", std::string(3000, 'h') + MakeContent(500, true, 8), 0}});
  // Volume 2 starts inside game.exe's stream; volume 3 inside line.ogg's.
  const std::size_t cut2 = StreamOf(archive, "game.exe") + 20;
  const std::size_t cut3 = StreamOf(archive, "data\\voice\\line.ogg") + 20;
  const struct {
    const char* label;
    std::string volume;  // the one that fails
    bool before_anything;  // found before the walk writes a file: the set is not all there
    void (*damage)(const std::string& path, const std::string& other);
  } rows[] = {
      {"missing", "instdat.003", true, [](const std::string& p, const std::string&) { std::remove(p.c_str()); }},
      {"cut short", "instdat.002", true,
       [](const std::string& p, const std::string&) {
         const std::string bytes = ReadFileBytes(p);
         WriteFileBytes(p, bytes.substr(0, bytes.size() - 1));
       }},
      {"one byte changed", "instdat.003", false,
       [](const std::string& p, const std::string&) {
         std::string bytes = ReadFileBytes(p);
         bytes[bytes.size() / 2] ^= 1;
         WriteFileBytes(p, bytes);
       }},
      {"of another build, same size", "instdat.002", false,
       [](const std::string& p, const std::string& o) {
         WriteFileBytes(p, o.substr(0, ReadFileBytes(p).size()));
       }},
  };
  for (const auto& r : rows) {
    TempDir dir;
    const std::vector<std::string> parts = WriteVolumes(dir.path(), archive, {cut2, cut3});
    r.damage(dir / r.volume, other);
    TempDir out;
    const WalkOutcome outcome = WalkSet(dir.path(), VolumeUse::kChecked, WalkPass::kFull, out.path());
    EXPECT_EQ(outcome.error, WalkError::kVolumeBad) << r.label;
    EXPECT_EQ(outcome.volume, r.volume) << r.label;
    // What reached the disk came from the volumes before the bad one.
    const std::string written = ReadFileBytes(out / "game.exe");
    if (r.before_anything) {
      EXPECT_FALSE(std::ifstream(out / "install.env").good()) << r.label;
    } else if (r.volume == "instdat.002") {
      EXPECT_LE(written.size(), parts[0].size()) << r.label;
    } else {
      EXPECT_EQ(written, kGame[2].content) << r.label;
      EXPECT_LE(ReadFileBytes(out / "data/voice/line.ogg").size(), parts[1].size()) << r.label;
    }
  }
}

}  // namespace

namespace {

// A digest that takes its time, as hashing gigabytes does.
class SlowDigest : public Sha256 {
 public:
  explicit SlowDigest(std::unique_ptr<Sha256> real) : real_(std::move(real)) {}
  void Update(const void* data, std::size_t size) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    real_->Update(data, size);
  }
  bool Final(unsigned char digest[kDigestBytes]) override { return real_->Final(digest); }

 private:
  std::unique_ptr<Sha256> real_;
};

class SlowVolumes : public MemoryVolumes {
 public:
  std::unique_ptr<Sha256> NewDigest() override { return std::make_unique<SlowDigest>(NewSha256()); }
};

class WaitingSink : public MemorySink {
 public:
  int waits = 0;
  void Waiting() override { ++waits; }
};

}  // namespace

// While the reader checks a volume, the calling thread (the one with the copy dialog) is
// called back to keep its windows answering.
TEST(Volumes, TheCallingThreadKeepsAnsweringWhileAVolumeIsChecked) {
  const std::string archive = BuildArchive(kGame);
  const std::size_t cut = StreamOf(archive, "game.exe") + 20;
  SlowVolumes opener;
  opener.volumes["instdat.002"] = archive.substr(cut);
  const std::vector<unsigned char> table = EncodeVolumeTable({RecordOf(archive.substr(cut))}, 0);
  LocatedArchive found;
  ASSERT_EQ(LocateInFile(std::make_unique<MemoryFile>(archive.substr(0, cut) + std::string(table.begin(), table.end())),
                         true, &found),
            LocateStatus::kFound);
  WaitingSink sink;
  ArchiveStream stream(found, &opener, VolumeUse::kChecked);
  ASSERT_TRUE(WalkEntries(stream, "T", WalkPass::kFull, sink, WalkThreads::kOverlapped).Ok());
  EXPECT_GE(sink.waits, 2);
  EXPECT_EQ(sink.files["T\\game.exe"], kGame[2].content);
}
