#include "archive/archive_walk.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/entry_iterator.h"
#include "archive/overlapped_walk.h"
#include "common/byte_order.h"

void* WalkSink::AllocateBlock(std::size_t size) { return std::malloc(size); }
void WalkSink::FreeBlock(void* block) { std::free(block); }

StdioOutputSink::~StdioOutputSink() {
  if (out_) std::fclose(out_);
}

bool StdioOutputSink::OpenOutput(const std::string& path) {
  out_ = OpenStream(SystemPath(path));
  return out_ != nullptr;
}

bool StdioOutputSink::WriteOutput(const unsigned char* data, std::size_t size) {
  return std::fwrite(data, 1, size, out_) == size;
}

bool StdioOutputSink::CloseOutput() {
  const int result = std::fclose(out_);
  out_ = nullptr;
  return result == 0;
}

const char* WalkErrorText(WalkError error) {
  switch (error) {
    case WalkError::kNone: return "no error";
    case WalkError::kShortRead: return "the archive ends inside an entry";
    case WalkError::kBadName: return "unsafe or malformed entry name";
    case WalkError::kPathTooLong: return "output path longer than 259 bytes";
    case WalkError::kPastEnd: return "entry data runs past the archive";
    case WalkError::kNoMemory: return "out of memory";
    case WalkError::kCreateFailed: return "output file cannot be created";
    case WalkError::kInflateInit: return "zlib initialisation failed";
    case WalkError::kCorruptStream: return "damaged zlib stream";
    case WalkError::kTruncatedStream: return "zlib stream cut short";
    case WalkError::kLengthMismatch: return "zlib stream shorter than its stored length";
    case WalkError::kWriteFailed: return "write failed";
  }
  return "unknown error";
}

int BlocksOf(std::int64_t bytes) {
  if (bytes <= 0) return 0;
  return static_cast<int>(std::min<std::int64_t>(bytes / kBlockSize, INT_MAX));
}

int OverallRange(std::int32_t archive_length) { return std::max(1, BlocksOf(archive_length)); }

WalkError ExtractFileEntry(std::FILE* archive, std::int32_t size, std::uint32_t packed,
                           const std::string& path, WalkSink& sink, std::int64_t* consumed) {
  BlockPool buffers(sink);
  if (!buffers.Fill(2)) return WalkError::kNoMemory;
  unsigned char* const in = buffers.blocks()[0];
  unsigned char* const out = buffers.blocks()[1];

  unsigned char stamp[kTimeBytes];
  if (std::fread(stamp, 1, kTimeBytes, archive) != kTimeBytes) return WalkError::kShortRead;
  const std::uint64_t filetime = LoadU64(stamp);
  *consumed += kTimeBytes;

  if (!sink.OpenOutput(path)) return WalkError::kCreateFailed;
  // Whatever happens below, the output is closed before returning; a failing file stays
  // on disk as far as it was written.
  bool output_open = true;
  auto fail = [&](WalkError error) {
    if (output_open) sink.CloseOutput();
    output_open = false;
    return error;
  };

  sink.BeginFile(path, BlocksOf(size));

  InflateStream inflater;
  z_stream& zs = inflater.stream;
  const int init = inflateInit(&zs);
  if (init != Z_OK) return fail(init == Z_MEM_ERROR ? WalkError::kNoMemory : WalkError::kInflateInit);
  inflater.open = true;
  zs.next_out = out;
  zs.avail_out = kBlockSize;
  std::int64_t written = 0;
  std::uint32_t remaining = packed;

  for (;;) {
    if (zs.avail_in == 0 && remaining > 0) {
      const std::uint32_t n = std::min<std::uint32_t>(remaining, kBlockSize);
      *consumed += n;
      remaining -= n;
      zs.next_in = in;
      zs.avail_in = static_cast<uInt>(std::fread(in, 1, n, archive));
    }
    const int result = inflate(&zs, Z_NO_FLUSH);
    if (result == Z_STREAM_END) break;
    if (result != Z_OK) return fail(InflateFailure(result));
    if (zs.avail_out == 0) {
      if (!sink.WriteOutput(out, kBlockSize)) return fail(WalkError::kWriteFailed);
      written += kBlockSize;
      zs.next_out = out;
      zs.avail_out = kBlockSize;
      sink.UpdateProgress(BlocksOf(written), BlocksOf(*consumed));
      sink.Pump();
    }
  }

  const std::size_t last = kBlockSize - zs.avail_out;
  if (last > 0) {
    if (!sink.WriteOutput(out, last)) return fail(WalkError::kWriteFailed);
    sink.UpdateProgress(BlocksOf(written + static_cast<std::int64_t>(last)), BlocksOf(*consumed));
    sink.Pump();
  }
  // Bytes of the stored length left over would be read as the next entry's header.
  if (remaining > 0 || zs.avail_in > 0) return fail(WalkError::kLengthMismatch);
  inflater.open = false;
  if (inflateEnd(&zs) != Z_OK) return fail(WalkError::kCorruptStream);
  output_open = false;
  if (!sink.CloseOutput()) return WalkError::kWriteFailed;
  sink.SetWriteTime(path, filetime);
  return WalkError::kNone;
}

namespace {

WalkOutcome WalkEntriesHere(std::FILE* archive, const std::string& target, WalkPass pass, WalkSink& sink) {
  WalkOutcome outcome;
  std::int64_t consumed = 0;
  EntryIterator entries(archive);
  auto fail = [&](WalkError error, const std::string& name) {
    outcome.error = error;
    outcome.entry_name = name;
    outcome.entry_offset = entries.offset();
    return outcome;
  };

  std::string path;
  for (;;) {
    switch (entries.Next()) {
      case HeaderStatus::kEnd: return outcome;
      case HeaderStatus::kShort: return fail(WalkError::kShortRead, std::string());
      case HeaderStatus::kBadName: return fail(WalkError::kBadName, entries.entry().name);
      case HeaderStatus::kEntry: break;
    }
    const EntryHeader& entry = entries.entry();
    consumed += entry.HeaderBytes();

    if (pass == WalkPass::kSetup) {
      // Setup files are top-level and listed before the first nested folder; top-level
      // folder entries are passed over because this pass creates no folders.
      if (entry.IsFolder() && IsNestedFolderName(entry.name)) return outcome;
      if (entry.IsFolder()) continue;
      if (!MatchesAnySetupPattern(entry.name)) {
        if (!entries.SkipData()) return fail(WalkError::kPastEnd, entry.name);
        continue;
      }
    }

    if (!JoinOutputPath(target, entry.name, &path)) return fail(WalkError::kPathTooLong, entry.name);
    if (entry.IsFolder()) {
      sink.CreateFolder(path);
      continue;
    }
    const WalkError error = ExtractFileEntry(archive, entry.size, entry.packed, path, sink, &consumed);
    if (error != WalkError::kNone) return fail(error, entry.name);
  }
}

}  // namespace

WalkOutcome WalkEntries(std::FILE* archive, const std::string& target, WalkPass pass, WalkSink& sink,
                        WalkThreads threads) {
  // An allocation of the walk's own records that fails ends it as kNoMemory, as a refused
  // block or zlib's own shortage does; the worker threads hand theirs to this thread as a
  // failure entry. The caller reports the outcome, once.
  try {
    WalkOutcome outcome;
    if (pass == WalkPass::kFull && threads == WalkThreads::kOverlapped &&
        WalkEntriesOverlapped(archive, target, sink, &outcome)) {
      return outcome;
    }
    return WalkEntriesHere(archive, target, pass, sink);
  } catch (const std::bad_alloc&) {
    WalkOutcome outcome;
    outcome.error = WalkError::kNoMemory;
    return outcome;
  }
}

bool SumUncompressedSizes(std::FILE* archive, std::uint64_t* total) {
  std::uint64_t sum = 0;
  EntryIterator entries(archive);
  for (;;) {
    switch (entries.Next()) {
      case HeaderStatus::kEnd: *total = sum; return true;
      case HeaderStatus::kShort:
      case HeaderStatus::kBadName: return false;
      case HeaderStatus::kEntry: break;
    }
    const EntryHeader& entry = entries.entry();
    if (entry.IsFolder()) continue;
    if (entry.size > 0) sum += static_cast<std::uint64_t>(entry.size);
    if (!entries.SkipData()) return false;
  }
}
