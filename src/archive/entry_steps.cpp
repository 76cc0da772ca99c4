#include "archive/entry_steps.h"

#include "archive/entry_names.h"
#include "common/byte_order.h"

namespace {

void Failed(WalkError error, EntryStep* step) {
  step->kind = EntryStep::Kind::kFailure;
  step->error = error;
}

// zlib's own allocations failing is memory running out too, not damage.
WalkError InflateFailure(int result) {
  if (result == Z_MEM_ERROR) return WalkError::kNoMemory;
  // Z_BUF_ERROR: no progress possible, the stream wants more than its stored length.
  return result == Z_BUF_ERROR ? WalkError::kTruncatedStream : WalkError::kCorruptStream;
}

}  // namespace

// --- 1. The header ---

void NextEntry(EntryIterator& entries, ArchiveStream& archive, const std::string& target, WalkPass pass,
               std::int64_t* consumed, EntryStep* step) {
  step->name.clear();
  switch (entries.Next()) {
    case HeaderStatus::kEnd: step->kind = EntryStep::Kind::kEnd; return;
    case HeaderStatus::kShort: return Failed(WalkError::kShortRead, step);
    case HeaderStatus::kBadName: step->name = entries.entry().name; return Failed(WalkError::kBadName, step);
    case HeaderStatus::kEntry: break;
  }
  const EntryHeader& entry = entries.entry();
  step->name = entry.name;
  *consumed += entry.HeaderBytes();

  if (pass == WalkPass::kSetup) {
    // Setup files are top-level and listed before the first nested folder; top-level
    // folder entries are passed over because this pass creates no folders.
    if (entry.IsFolder()) {
      step->kind = IsNestedFolderName(entry.name) ? EntryStep::Kind::kEnd : EntryStep::Kind::kSkipped;
      return;
    }
    if (!MatchesAnySetupPattern(entry.name)) {
      if (!entries.SkipData()) return Failed(WalkError::kPastEnd, step);
      step->kind = EntryStep::Kind::kSkipped;
      return;
    }
  }

  if (!JoinOutputPath(target, entry.name, &step->path)) return Failed(WalkError::kPathTooLong, step);
  if (entry.IsFolder()) {
    step->kind = EntryStep::Kind::kFolder;
    return;
  }
  unsigned char stamp[kTimeBytes];
  if (archive.Read(stamp, kTimeBytes) != kTimeBytes) return Failed(WalkError::kShortRead, step);
  *consumed += kTimeBytes;
  step->kind = EntryStep::Kind::kFile;
  step->size = entry.size;
  step->packed = entry.packed;
  step->filetime = LoadU64(stamp);
}

// --- 2. The data ---

WalkError InflateStream::Open() {
  const int init = inflateInit(&stream);
  if (init != Z_OK) return init == Z_MEM_ERROR ? WalkError::kNoMemory : WalkError::kInflateInit;
  open = true;
  return WalkError::kNone;
}

InflateResult InflateEntryData(std::uint32_t packed, std::int64_t consumed, InflateIo& io) {
  const InflateResult stopped{WalkError::kNone, true};
  InflateStream inflater;
  z_stream& zs = inflater.stream;
  if (const WalkError error = inflater.Open(); error != WalkError::kNone) return {error};
  unsigned char* out = io.OutputBlock();
  if (!out) return stopped;
  zs.next_out = out;
  zs.avail_out = kBlockSize;
  std::uint32_t remaining = packed;

  for (;;) {
    if (zs.avail_in == 0 && remaining > 0) {
      const std::uint32_t n = NextPiece(remaining);
      consumed += n;
      remaining -= n;
      const unsigned char* data = nullptr;
      std::size_t length = 0;
      if (!io.Input(n, &data, &length)) {
        io.Unused(out);
        return stopped;
      }
      zs.next_in = const_cast<Bytef*>(data);  // zlib's input pointer is not const
      zs.avail_in = static_cast<uInt>(length);
    }
    const int result = inflate(&zs, Z_NO_FLUSH);
    if (result == Z_STREAM_END) break;
    if (result != Z_OK) {
      io.Unused(out);
      return {InflateFailure(result)};
    }
    if (zs.avail_out == 0) {
      if (!io.Output(out, kBlockSize, consumed)) return stopped;
      out = io.OutputBlock();
      if (!out) return stopped;
      zs.next_out = out;
      zs.avail_out = kBlockSize;
    }
  }

  const std::size_t last = kBlockSize - zs.avail_out;
  if (last == 0) {
    io.Unused(out);
  } else if (!io.Output(out, last, consumed)) {
    return stopped;
  }
  // Bytes of the stored length left over would be read as the next entry's header.
  if (remaining > 0 || zs.avail_in > 0) return {WalkError::kLengthMismatch};
  inflater.open = false;
  if (inflateEnd(&zs) != Z_OK) return {WalkError::kCorruptStream};
  return {};
}

// --- 3. The output file ---

WalkError FileOutput::Open(std::int32_t size) {
  if (!sink_.OpenOutput(path_)) return WalkError::kCreateFailed;
  sink_.BeginFile(path_, BlocksOf(size));
  return WalkError::kNone;
}

bool FileOutput::Write(const unsigned char* data, std::size_t length, std::int64_t consumed) {
  if (!sink_.WriteOutput(data, length)) return false;
  written_ += static_cast<std::int64_t>(length);
  sink_.UpdateProgress(BlocksOf(written_), BlocksOf(consumed));
  sink_.Pump();
  return true;
}

WalkError FileOutput::Finish(WalkError inflated, std::uint64_t filetime) {
  if (inflated != WalkError::kNone) {
    sink_.CloseOutput();
    return inflated;
  }
  return sink_.FinishOutput(path_, filetime) ? WalkError::kNone : WalkError::kWriteFailed;
}

bool BlockPool::FillTo(std::size_t count) {
  blocks_.reserve(count);
  while (blocks_.size() < count) {
    auto* block = static_cast<unsigned char*>(sink_.AllocateBlock(kBlockSize));
    if (!block) return false;
    blocks_.push_back(block);
  }
  return true;
}
