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

VolumeRecord RecordOf(const std::string& bytes) {
  VolumeRecord record;
  record.size = static_cast<std::int64_t>(bytes.size());
  std::unique_ptr<Sha256> digest = NewSha256();
  digest->Update(bytes.data(), bytes.size());
  EXPECT_TRUE(digest->Final(record.digest.data()));
  return record;
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

// A side-car cut at `cuts` into volumes in memory, recorded as they are (damage them after).
class MemoryVolumes : public VolumeOpener {
 public:
  MemoryVolumes(const std::string& archive, const std::vector<std::size_t>& cuts) {
    std::vector<VolumeRecord> records;
    for (std::size_t i = 0; i < cuts.size(); ++i) {
      const std::size_t end = i + 1 < cuts.size() ? cuts[i + 1] : archive.size();
      volumes[VolumeName(static_cast<int>(i) + 2)] = archive.substr(cuts[i], end - cuts[i]);
      records.push_back(RecordOf(volumes[VolumeName(static_cast<int>(i) + 2)]));
    }
    const std::vector<unsigned char> table = EncodeVolumeTable(records, 0);
    first = archive.substr(0, cuts[0]) + std::string(table.begin(), table.end());
  }
  // The set located as the program locates a side-car.
  LocatedArchive Locate() {
    LocatedArchive found;
    EXPECT_EQ(LocateInFile(std::make_unique<MemoryFile>(first), true, &found), LocateStatus::kFound);
    return found;
  }
  std::unique_ptr<ArchiveFile> OpenVolume(const std::string& name) override {
    auto it = volumes.find(name);
    if (it == volumes.end()) return nullptr;
    return std::make_unique<MemoryFile>(it->second);
  }
  std::unique_ptr<Sha256> NewDigest() override { return NewSha256(); }

  std::string first;
  std::map<std::string, std::string> volumes;
};

// Keeps what the walk writes.
class MemorySink : public WalkSink {
 public:
  std::map<std::string, std::string> files;
  int waits = 0;
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
  void Waiting() override { ++waits; }

 private:
  std::string* current_ = nullptr;
};

WalkOutcome WalkSet(MemoryVolumes& set, VolumeUse use, WalkPass pass, MemorySink* sink,
                    WalkThreads threads = WalkThreads::kSingle) {
  LocatedArchive found = set.Locate();
  if (!found.file) return WalkOutcome();
  ArchiveStream stream(found, &set, use);
  return WalkEntries(stream, "T", pass, *sink, threads);
}

TEST(Volumes, ACutAtAnyByteInstallsTheSameFiles) {
  const std::string archive = BuildArchive(kGame);
  // Every byte is a cut: inside a name length, a name, the sizes, a time stamp, a stream,
  // right at an entry's end and inside the end marker. A second cut lands a little further
  // on, so some volumes hold no more than a byte or two of one field.
  for (std::size_t cut = 1; cut < archive.size(); ++cut) {
    for (std::size_t second : {std::size_t{0}, cut + 1, cut + 37}) {
      if (second != 0 && second >= archive.size()) continue;
      std::vector<std::size_t> cuts{cut};
      if (second) cuts.push_back(second);
      MemoryVolumes set(archive, cuts);
      ASSERT_EQ(set.Locate().TotalLength(), static_cast<std::int64_t>(archive.size()));
      MemorySink sink;
      ASSERT_TRUE(WalkSet(set, VolumeUse::kChecked, WalkPass::kFull, &sink).Ok()) << cut << " " << second;
      for (const TestEntry& e : kGame) {
        if (e.folder()) continue;
        ASSERT_EQ(sink.files["T\\" + e.name], e.content) << e.name << " cut " << cut;
      }
    }
  }
}

TEST(Volumes, TheSetupPassReadsOnlyTheFirstVolume) {
  const std::string archive = BuildArchive(kGame);
  // Cut inside game.exe, after the setup files: the further volume is not even there.
  MemoryVolumes set(archive, {StreamOf(archive, "game.exe") + 10});
  set.volumes.clear();
  MemorySink sink;
  ASSERT_TRUE(WalkSet(set, VolumeUse::kFirstOnly, WalkPass::kSetup, &sink).Ok());
  EXPECT_EQ(sink.files["T\\install.env"], kGame[0].content);
  EXPECT_EQ(sink.files["T\\readme.txt"], kGame[1].content);
}

// A set not all there is refused before anything is written; a volume whose bytes are not
// the recorded ones, before a byte of it is.
TEST(Volumes, AMissingCutOrForeignVolumeIsFoundBeforeAByteOfItIsWritten) {
  const std::string archive = BuildArchive(kGame);
  const std::string other = BuildArchive({{"install.env", "TITLEBAR other\r\n", 0},
                                          {"game.exe", std::string(3000, 'h') + MakeContent(500, true, 8), 0}});
  // Volume 2 starts inside game.exe's stream; volume 3 inside line.ogg's.
  const std::vector<std::size_t> cuts = {StreamOf(archive, "game.exe") + 20,
                                         StreamOf(archive, "data\\voice\\line.ogg") + 20};
  const struct {
    const char* label;
    std::string volume;    // the one that fails
    bool before_anything;  // found before the walk writes a file: the set is not all there
    void (*damage)(std::map<std::string, std::string>& volumes, const std::string& name, const std::string& other);
  } rows[] = {
      {"missing", "instdat.003", true, [](auto& v, const std::string& n, const std::string&) { v.erase(n); }},
      {"cut short", "instdat.002", true, [](auto& v, const std::string& n, const std::string&) { v[n].pop_back(); }},
      {"one byte changed", "instdat.003", false,
       [](auto& v, const std::string& n, const std::string&) { v[n][v[n].size() / 2] ^= 1; }},
      {"of another build, same size", "instdat.002", false,
       [](auto& v, const std::string& n, const std::string& o) { v[n] = o.substr(0, v[n].size()); }},
  };
  for (const auto& r : rows) {
    MemoryVolumes set(archive, cuts);
    r.damage(set.volumes, r.volume, other);
    MemorySink sink;
    const WalkOutcome outcome = WalkSet(set, VolumeUse::kChecked, WalkPass::kFull, &sink, WalkThreads::kOverlapped);
    EXPECT_EQ(outcome.error, WalkError::kVolumeBad) << r.label;
    EXPECT_EQ(outcome.volume, r.volume) << r.label;
    // What was written came from the volumes before the bad one.
    const std::string& game = sink.files["T\\game.exe"];
    if (r.before_anything) {
      EXPECT_EQ(sink.files.count("T\\install.env"), 0u) << r.label;
    } else if (r.volume == "instdat.002") {
      EXPECT_LE(game.size(), cuts[0]) << r.label;
    } else {
      EXPECT_EQ(game, kGame[2].content) << r.label;
      EXPECT_LE(sink.files["T\\data\\voice\\line.ogg"].size(), cuts[1] - cuts[0]) << r.label;
    }
  }
}

// A digest that takes its time, as hashing gigabytes does.
class SlowDigest : public Sha256 {
 public:
  void Update(const void* data, std::size_t size) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    real_->Update(data, size);
  }
  bool Final(unsigned char digest[kDigestBytes]) override { return real_->Final(digest); }

 private:
  std::unique_ptr<Sha256> real_ = NewSha256();
};

class SlowVolumes : public MemoryVolumes {
 public:
  using MemoryVolumes::MemoryVolumes;
  std::unique_ptr<Sha256> NewDigest() override { return std::make_unique<SlowDigest>(); }
};

// While the reader checks a volume, the calling thread (the one with the copy dialog) is
// called back to keep its windows answering.
TEST(Volumes, TheCallingThreadKeepsAnsweringWhileAVolumeIsChecked) {
  const std::string archive = BuildArchive(kGame);
  SlowVolumes set(archive, {StreamOf(archive, "game.exe") + 20});
  MemorySink sink;
  ASSERT_TRUE(WalkSet(set, VolumeUse::kChecked, WalkPass::kFull, &sink, WalkThreads::kOverlapped).Ok());
  EXPECT_GE(sink.waits, 2);
  EXPECT_EQ(sink.files["T\\game.exe"], kGame[2].content);
}

}  // namespace
