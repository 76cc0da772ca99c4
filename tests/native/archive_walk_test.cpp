#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_walk.h"
#include "archive_test_support.h"

namespace {

// "ソ" is 83 5C in CP932: its trail byte is a backslash that must never split a name.
const std::string kSo = "\x83\x5C";

struct RoundTripCase {
  const char* label;
  std::vector<TestEntry> entries;
};

std::vector<RoundTripCase> RoundTripCases() {
  const std::uint64_t t = 132000000000000000ull;  // 2019, whole seconds
  return {
      {"end marker only", {}},
      {"empty file", {{"empty.dat", "", t}}},
      {"exactly one block", {{"one.bin", MakeContent(0x20000, false), t}}},
      {"one block and a byte", {{"over.bin", MakeContent(0x20001, true), t + 10000000}}},
      {"several blocks of noise", {{"noise.bin", MakeContent(3 * 0x20000 + 17, true, 7), t}}},
      {"0x5C trail bytes",
       {{kSo + ".txt", "so", t}, {kSo + "\\", "", 0}, {kSo + "\\" + kSo + "\\", "", 0},
        {kSo + "\\" + kSo + "\\" + kSo + ".dat", "deep so", t}}},
      {"deep folders",
       {{"a\\", "", 0}, {"a\\b\\", "", 0}, {"a\\b\\c\\", "", 0}, {"a\\b\\c\\d\\", "", 0},
        {"a\\b\\c\\d\\leaf.txt", "leaf", t}, {"a\\top.bin", MakeContent(5000, false), t}}},
  };
}

TEST(ArchiveRoundTrip, FullPassRecreatesEveryFolderFileAndTime) {
  for (const RoundTripCase& c : RoundTripCases()) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    RecordingSink sink;
    const WalkOutcome outcome = WalkBytes(BuildArchive(c.entries), dir.path(), WalkPass::kFull, sink);
    ASSERT_TRUE(outcome.Ok()) << WalkErrorText(outcome.error) << " at " << outcome.entry_name;
    for (const TestEntry& e : c.entries) {
      const std::string path = HostPath(dir.path() + "\\" + e.name);
      struct stat st;
      ASSERT_EQ(::stat(path.c_str(), &st), 0) << e.name;
      if (e.folder()) {
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << e.name;
        continue;
      }
      EXPECT_EQ(ReadFileBytes(path), e.content) << e.name;
      EXPECT_EQ(FiletimeFromUnix(st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec)), e.filetime)
          << e.name;
    }
  }
}

TEST(ArchiveRoundTrip, ExistingFilesAreReplacedAndFoldersReused) {
  TempDir dir;
  const std::string bytes = BuildArchive({{"d\\", "", 0}, {"d\\f.bin", "new", 0}});
  ::mkdir((dir / "d").c_str(), 0777);
  WriteFileBytes(dir / "d/f.bin", "old contents, longer");
  RecordingSink sink;
  ASSERT_TRUE(WalkBytes(bytes, dir.path(), WalkPass::kFull, sink).Ok());
  EXPECT_EQ(ReadFileBytes(dir / "d/f.bin"), "new");
}

// Every way an archive can be damaged ends the walk with a failure naming the cause.
struct FailureCase {
  const char* label;
  std::string bytes;
  WalkError expected;
};

std::vector<FailureCase> FailureCases() {
  const std::string content = MakeContent(0x30000, false);
  const std::vector<unsigned char> z = Zlib(content);
  const std::string stream(z.begin(), z.end());
  const std::string header = RawHeader(std::string("f.bin") + '\0', static_cast<std::int32_t>(content.size()),
                                       static_cast<std::uint32_t>(stream.size()));
  const std::string stamp(8, '\x01');
  const std::string good = header + stamp + stream + std::string(4, '\0');
  auto with_packed = [&](std::uint32_t packed, const std::string& data) {
    return RawHeader(std::string("f.bin") + '\0', 10, packed) + stamp + data + std::string(4, '\0');
  };
  std::string corrupt = stream;
  corrupt[stream.size() / 2] ^= 0x55;
  std::string bad_adler = stream;
  bad_adler.back() ^= 0x01;
  auto named = [](const std::string& name_with_nul, bool folder) {
    return RawHeader(name_with_nul, folder ? -1 : 0, folder ? 0xFFFFFFFFu : 8) + std::string(4, '\0');
  };
  return {
      {"empty stream", "", WalkError::kShortRead},
      {"half a name length", good.substr(0, 1), WalkError::kShortRead},
      {"inside the name", good.substr(0, 4), WalkError::kShortRead},
      {"inside the size", good.substr(0, 2 + 6 + 2), WalkError::kShortRead},
      {"inside the packed size", good.substr(0, 2 + 6 + 4 + 3), WalkError::kShortRead},
      {"inside the time stamp", good.substr(0, header.size() + 5), WalkError::kShortRead},
      {"no end marker", good.substr(0, good.size() - 4), WalkError::kShortRead},
      {"stream cut short", good.substr(0, header.size() + 8 + stream.size() - 10), WalkError::kTruncatedStream},
      {"stream needs more than D", with_packed(static_cast<std::uint32_t>(stream.size() - 1), stream),
       WalkError::kTruncatedStream},
      {"D longer than the stream", with_packed(static_cast<std::uint32_t>(stream.size() + 3), stream + "xyz"),
       WalkError::kLengthMismatch},
      {"corrupt deflate data", with_packed(static_cast<std::uint32_t>(stream.size()), corrupt),
       WalkError::kCorruptStream},
      {"bad Adler-32", with_packed(static_cast<std::uint32_t>(bad_adler.size()), bad_adler),
       WalkError::kCorruptStream},
      {"raw deflate, not zlib", with_packed(static_cast<std::uint32_t>(stream.size() - 2), stream.substr(2)),
       WalkError::kCorruptStream},
      {"name without its NUL", named("abc", false), WalkError::kBadName},
      {"NUL inside the name", named(std::string("a\0b", 3) + '\0', false), WalkError::kBadName},
      {"name longer than 260", RawHeader(std::string(261, 'a'), 0, 0), WalkError::kBadName},
      {"parent component", named(std::string("..\\evil.txt") + '\0', false), WalkError::kBadName},
      {"inner parent component", named(std::string("a\\..\\..\\evil") + '\0', false), WalkError::kBadName},
      {"parent folder", named(std::string("..\\") + '\0', true), WalkError::kBadName},
      {"drive", named(std::string("C:\\evil") + '\0', false), WalkError::kBadName},
      {"stream name", named(std::string("a:b") + '\0', false), WalkError::kBadName},
      {"leading backslash", named(std::string("\\evil") + '\0', false), WalkError::kBadName},
      {"empty component", named(std::string("a\\\\b") + '\0', false), WalkError::kBadName},
      {"slash separator", named(std::string("a/../../b") + '\0', false), WalkError::kBadName},
      {"file ending with a backslash", named(std::string("a\\") + '\0', false), WalkError::kBadName},
      {"empty name", named(std::string(1, '\0'), false), WalkError::kBadName},
      {"device name", named(std::string("sub\\con.txt") + '\0', false), WalkError::kBadName},
      {"dots and spaces", named(std::string(".. \\x") + '\0', false), WalkError::kBadName},
      {"invalid trail byte hiding a slash", named(std::string("\x81/..\x81/x") + '\0', false),
       WalkError::kBadName},
      {"file before its folder",
       BuildArchive({{"d\\f.txt", "x", 0}, {"d\\", "", 0}}), WalkError::kCreateFailed},
  };
}

TEST(ArchiveWalk, EveryDamageTakesTheFailurePath) {
  for (const FailureCase& c : FailureCases()) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    RecordingSink sink;
    const WalkOutcome outcome = WalkBytes(c.bytes, dir.path(), WalkPass::kFull, sink);
    EXPECT_EQ(outcome.error, c.expected) << WalkErrorText(outcome.error);
  }
}

// Every call the walk makes, with the target cut off, and the data's bytes; kept in memory,
// where a file opens only in a folder made before it, as on disk. A write can be made to
// fail so that the walk stops in the middle of a file.
class TraceSink : public WalkSink {
 public:
  TraceSink(std::string target, int failing_write) : target_(std::move(target)), failing_write_(failing_write) {}
  std::string trace;
  void CreateFolder(const std::string& path) override {
    trace += "folder " + Cut(path) + '\n';
    folders_.insert(Cut(path));
  }
  bool OpenOutput(const std::string& path) override {
    const std::string name = Cut(path);
    trace += "open " + name + '\n';
    return folders_.count(name.substr(0, name.rfind('\\') + 1)) > 0;
  }
  bool WriteOutput(const unsigned char* data, std::size_t size) override {
    trace += "write " + std::string(reinterpret_cast<const char*>(data), size) + '\n';
    return ++writes_ != failing_write_;
  }
  bool CloseOutput() override {
    trace += "close\n";
    return true;
  }
  void SetWriteTime(const std::string& path, std::uint64_t filetime) override {
    trace += "time " + Cut(path) + ' ' + std::to_string(filetime) + '\n';
  }
  void BeginFile(const std::string& path, int range) override { trace += "begin " + Cut(path) + ' ' + std::to_string(range) + '\n'; }
  void UpdateProgress(int file, int overall) override {
    trace += "progress " + std::to_string(file) + ' ' + std::to_string(overall) + '\n';
  }
  void Pump() override { trace += "pump\n"; }

 private:
  std::string Cut(const std::string& path) const { return path.substr(target_.size()); }
  std::string target_;
  int failing_write_;
  int writes_ = 0;
  std::set<std::string> folders_{"\\"};
};

TEST(ArchiveWalk, OverlappedWalkDoesWhatTheSingleThreadWalkDoes) {
  // Failures after files were written, in the middle of a many-block file, in a second
  // many-block file inflated while the first is still being written, and a write failure
  // while the inflaters are blocks ahead.
  const std::string good = BuildArchive({{"a.txt", "alpha", 7},
                                         {"d\\", "", 0},
                                         {"d\\big.bin", MakeContent(20 * 0x20000 + 5, true, 3), 8},
                                         {"d\\big2.bin", MakeContent(18 * 0x20000 + 9, true, 4), 5},
                                         {"z.txt", "zulu", 9}});
  std::vector<std::pair<std::string, std::string>> archives = {{"good", good}};
  for (std::size_t at : {good.size() * 3 / 4, good.size() - 4 - 30}) {  // inside big2.bin; z.txt or big2's tail
    std::string damaged = good;
    damaged[at] ^= 0x55;
    archives.emplace_back("damaged", damaged);
  }
  for (std::size_t cut : {good.size() / 3, good.size() * 2 / 3, good.size() - 20}) archives.emplace_back("cut", good.substr(0, cut));
  // Each damaged archive behind a good first file (less its end marker).
  const std::string first = BuildArchive({{"first.txt", "1", 1}});
  for (const FailureCase& c : FailureCases()) archives.emplace_back(c.label, first.substr(0, first.size() - 4) + c.bytes);
  for (const auto& [label, bytes] : archives) {
    for (int failing_write : {0, 1, 3, 30}) {
      SCOPED_TRACE(label + " failing write " + std::to_string(failing_write));
      const std::string target = "/nowhere";
      TraceSink single(target, failing_write), overlapped(target, failing_write);
      const WalkOutcome a = WalkBytes(bytes, target, WalkPass::kFull, single, WalkThreads::kSingle);
      const WalkOutcome b = WalkBytes(bytes, target, WalkPass::kFull, overlapped, WalkThreads::kOverlapped);
      EXPECT_EQ(a.error, b.error) << WalkErrorText(a.error) << " / " << WalkErrorText(b.error);
      EXPECT_EQ(a.entry_name, b.entry_name);
      EXPECT_EQ(a.entry_offset, b.entry_offset);
      EXPECT_TRUE(single.trace == overlapped.trace);
    }
  }
}

// Memory for at most `limit` blocks at a time. Records whether a block was asked for on a
// thread other than the walk's caller and whether every block came back.
class ScarceSink : public TraceSink {
 public:
  ScarceSink(std::string target, int limit) : TraceSink(std::move(target), 0), limit_(limit) {}
  void* AllocateBlock(std::size_t size) override {
    if (std::this_thread::get_id() != caller_) asked_elsewhere = true;
    if (held == limit_) return nullptr;
    ++held;
    return WalkSink::AllocateBlock(size);
  }
  void FreeBlock(void* block) override {
    --held;
    WalkSink::FreeBlock(block);
  }
  int held = 0;
  bool asked_elsewhere = false;

 private:
  int limit_;
  std::thread::id caller_ = std::this_thread::get_id();
};

TEST(ArchiveWalk, RunningOutOfBlocksEndsEitherWalkOnceAsNoMemory) {
  const std::string full = BuildArchive(
      {{"d\\", "", 0}, {"d\\a.txt", "alpha", 1}, {"b.bin", MakeContent(3 * 0x20000 + 1, true, 2), 2}});
  const std::string setup = BuildArchive({{"install.env", "env", 0}});
  // Two blocks a file on this thread; the threads' pool needs more and gives way to that.
  const struct {
    WalkPass pass;
    int limit;
    WalkError expected;
    const char* entry;
  } rows[] = {
      {WalkPass::kFull, 0, WalkError::kNoMemory, "d\\a.txt"},
      {WalkPass::kFull, 1, WalkError::kNoMemory, "d\\a.txt"},
      {WalkPass::kFull, 2, WalkError::kNone, ""},
      {WalkPass::kFull, 23, WalkError::kNone, ""},
      {WalkPass::kFull, 24, WalkError::kNone, ""},
      {WalkPass::kSetup, 1, WalkError::kNoMemory, "install.env"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.limit) + (row.pass == WalkPass::kFull ? " full" : " setup"));
    const std::string& bytes = row.pass == WalkPass::kFull ? full : setup;
    const std::string target = "/nowhere";
    ScarceSink single(target, row.limit), overlapped(target, row.limit);
    const WalkOutcome a = WalkBytes(bytes, target, row.pass, single, WalkThreads::kSingle);
    const WalkOutcome b = WalkBytes(bytes, target, row.pass, overlapped, WalkThreads::kOverlapped);
    for (const WalkOutcome* outcome : {&a, &b}) {
      EXPECT_EQ(outcome->error, row.expected) << WalkErrorText(outcome->error);
      EXPECT_EQ(outcome->entry_name, row.entry);
    }
    EXPECT_TRUE(single.trace == overlapped.trace);
    for (const ScarceSink* sink : {&single, &overlapped}) {
      EXPECT_EQ(sink->held, 0);
      EXPECT_FALSE(sink->asked_elsewhere);
    }
  }
}

TEST(ArchiveWalk, UnsafeNamesWriteNothingOutsideTheTarget) {
  TempDir dir;
  const std::string target = dir / "target";
  ::mkdir(target.c_str(), 0777);
  const std::vector<unsigned char> z = Zlib("abc");
  const std::string stream(z.begin(), z.end());
  for (const char* name : {"..\\outside.txt", "..\\..\\outside.txt", "a\\..\\..\\outside.txt"}) {
    RecordingSink sink;
    const std::string bytes = RawHeader(std::string(name) + '\0', 3, static_cast<std::uint32_t>(stream.size())) +
                              std::string(8, '\0') + stream + std::string(4, '\0');
    EXPECT_EQ(WalkBytes(bytes, target, WalkPass::kFull, sink).error, WalkError::kBadName) << name;
  }
  EXPECT_FALSE(PathExists(dir / "outside.txt"));
  EXPECT_FALSE(PathExists("/tmp/outside.txt"));
}

TEST(ArchiveWalk, FailureReportsTheEntryAndItsOffset) {
  std::string bytes = BuildArchive({{"a.txt", "alpha", 0}, {"b.bin", MakeContent(1000, false), 0}});
  const std::size_t second = 2 + 6 + 8 + 8 + Zlib("alpha").size();
  bytes[bytes.size() - 4 - 3] ^= 0x20;  // inside b.bin's Adler-32
  TempDir dir;
  RecordingSink sink;
  const WalkOutcome outcome = WalkBytes(bytes, dir.path(), WalkPass::kFull, sink);
  EXPECT_EQ(outcome.error, WalkError::kCorruptStream);
  EXPECT_EQ(outcome.entry_name, "b.bin");
  EXPECT_EQ(outcome.entry_offset, static_cast<std::int64_t>(second));
  // What was written before the damage stays.
  EXPECT_EQ(ReadFileBytes(dir / "a.txt"), "alpha");
}

TEST(ArchiveWalk, OutputThatCannotBeCreatedFails) {
  TempDir dir;
  const std::string bytes = BuildArchive({{"a.txt", "x", 0}});
  {
    RecordingSink sink;
    EXPECT_EQ(WalkBytes(bytes, dir / "missing", WalkPass::kFull, sink).error, WalkError::kCreateFailed);
  }
  {
    ::mkdir((dir / "a.txt").c_str(), 0777);  // a folder where the file goes
    RecordingSink sink;
    EXPECT_EQ(WalkBytes(bytes, dir.path(), WalkPass::kFull, sink).error, WalkError::kCreateFailed);
  }
}

TEST(ArchiveWalk, JoinedPathMustFitThePathBuffer) {
  TempDir dir;
  const std::string name(259 - dir.path().size() - 1, 'n');
  for (int extra : {0, 1}) {
    RecordingSink sink;
    sink.refuse_output = dir.path() + "\\" + name + std::string(extra, 'n');  // never touch the disk
    const WalkOutcome outcome =
        WalkBytes(BuildArchive({{name + std::string(extra, 'n'), "x", 0}}), dir.path(), WalkPass::kFull, sink);
    EXPECT_EQ(outcome.error, extra ? WalkError::kPathTooLong : WalkError::kCreateFailed) << extra;
  }
}

// The setup pass: which entries land in the work folder, and where it ends.
struct SetupCase {
  const char* label;
  std::vector<TestEntry> entries;
  std::vector<std::string> written;  // files expected in the target afterwards
  WalkError expected;
};

std::vector<SetupCase> SetupCases() {
  return {
      {"setup files only",
       {{"install.env", "env", 0}, {"insttscr.rct", "pic", 0}, {"readme.txt", "r", 0}, {"game.exe", "x", 0}},
       {"install.env", "insttscr.rct", "readme.txt"},
       WalkError::kNone},
      {"letter case ignored",
       {{"README.TXT", "r", 0}, {"Install.Env", "e", 0}, {"\x82\x73\x82\x77\x82\x73.TxT", "fw", 0}},
       {"README.TXT", "Install.Env", "\x82\x73\x82\x77\x82\x73.TxT"},
       WalkError::kNone},
      {"substring, not suffix",
       {{"notes.txt.bak", "1", 0}, {"install.env.old", "2", 0}, {"txt", "3", 0}},
       {"notes.txt.bak", "install.env.old"},
       WalkError::kNone},
      {"a pattern never matches from a trail byte",
       {{"\x83install.env", "1", 0}, {"\x83" "a.txt", "2", 0}},  // 83 69 is one character
       {"\x83" "a.txt"},
       WalkError::kNone},
      {"top-level folder skipped, nested folder ends the pass",
       {{"a.txt", "a", 0}, {"data\\", "", 0}, {"data\\sub\\", "", 0}, {"b.txt", "b", 0}},
       {"a.txt"},
       WalkError::kNone},
      {"a setup file inside a folder cannot be written",
       {{"data\\", "", 0}, {"data\\notes.txt", "n", 0}},
       {},
       WalkError::kCreateFailed},
      {"0x5C trail byte is not a nested folder",
       {{kSo + "\\", "", 0}, {"after.txt", "a", 0}},
       {"after.txt"},
       WalkError::kNone},
  };
}

TEST(ArchiveSetupPass, WritesOnlySetupFilesAndNoFolders) {
  for (const SetupCase& c : SetupCases()) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    RecordingSink sink;
    EXPECT_EQ(WalkBytes(BuildArchive(c.entries), dir.path(), WalkPass::kSetup, sink).error, c.expected);
    EXPECT_TRUE(sink.folders.empty());
    std::vector<std::string> present;
    for (const TestEntry& e : c.entries) {
      if (!e.folder() && PathExists(HostPath(dir.path() + "\\" + e.name))) present.push_back(e.name);
    }
    EXPECT_EQ(present, c.written);
  }
}

TEST(ArchiveSetupPass, SkipsDataOfOtherFilesWithoutReadingIt) {
  // The skipped file's stream is garbage: the setup pass must seek over it untouched.
  const std::string bytes = RawHeader(std::string("game.exe") + '\0', 5, 6) + std::string(8, '\0') + "GARBAG" +
                            BuildArchive({{"install.env", "ok", 0}});
  TempDir dir;
  RecordingSink sink;
  ASSERT_TRUE(WalkBytes(bytes, dir.path(), WalkPass::kSetup, sink).Ok());
  EXPECT_EQ(ReadFileBytes(dir / "install.env"), "ok");
  EXPECT_FALSE(PathExists(dir / "game.exe"));
}

TEST(ArchiveProgress, RangesPositionsAndPumps) {
  struct Case {
    std::size_t size;
    int range;
    std::vector<int> file_positions;
  } cases[] = {
      {0, 0, {}},                      // no output, no update
      {100, 0, {0}},                   // under a block: range 0..0, one final update
      {0x20000, 1, {1}},               // exact block: written in the loop, nothing at the end
      {0x20001, 1, {1, 1}},            // a block, then one byte
      {5 * 0x20000 + 3, 5, {1, 2, 3, 4, 5, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    TempDir dir;
    RecordingSink sink;
    ASSERT_TRUE(WalkBytes(BuildArchive({{"f.bin", MakeContent(c.size, true), 0}}), dir.path(), WalkPass::kFull, sink)
                    .Ok());
    ASSERT_EQ(sink.begun.size(), 1u);
    EXPECT_EQ(sink.begun[0].second, c.range);
    std::vector<int> positions;
    for (const auto& u : sink.updates) positions.push_back(u.file);
    EXPECT_EQ(positions, c.file_positions);
    EXPECT_EQ(sink.pumps, static_cast<int>(c.file_positions.size()));
    // The overall bar follows the archive bytes read so far: never back, never past the end.
    const int archive_blocks = BlocksOf(static_cast<std::int64_t>(2 + 6 + 8 + 8 + Zlib(MakeContent(c.size, true)).size()));
    for (std::size_t i = 0; i < sink.updates.size(); ++i) {
      EXPECT_LE(sink.updates[i].overall, archive_blocks);
      if (i > 0) {
        EXPECT_GE(sink.updates[i].overall, sink.updates[i - 1].overall);
      }
    }
    if (!sink.updates.empty()) {
      EXPECT_GE(sink.updates.back().overall, archive_blocks - 1);
    }
  }
}

TEST(ArchiveProgress, OverallRangeIsAtLeastOneBlock) {
  const struct {
    std::int32_t length;
    int range;
  } rows[] = {{0, 1}, {4, 1}, {0x1FFFF, 1}, {0x20000, 1}, {0x20000 * 10, 10}, {0x20000 * 10 + 5, 10},
              {0x7FFFFFFF, 16383}};
  for (const auto& r : rows) EXPECT_EQ(OverallRange(r.length), r.range) << r.length;
}

TEST(ArchiveTotal, SumsFileSizesFromHeadersOnly) {
  const std::string bytes =
      BuildArchive({{"a.txt", "12345", 0}, {"d\\", "", 0}, {"d\\b.bin", MakeContent(0x20001, false), 0}});
  std::FILE* f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  std::uint64_t total = 0;
  EXPECT_TRUE(SumUncompressedSizes(f, &total));
  EXPECT_EQ(total, 5u + 0x20001u);
  std::fclose(f);
  f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size() - 4, f);
  std::rewind(f);
  EXPECT_FALSE(SumUncompressedSizes(f, &total));
  std::fclose(f);
}

}  // namespace
