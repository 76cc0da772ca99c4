#include "archive/archive_walk.h"

#include <new>

#include "archive/archive_file.h"
#include "archive/archive_stream.h"
#include "archive/entry_iterator.h"
#include "archive/overlapped_walk.h"
#include "archive/single_walk.h"

namespace {

// Damage as the walk sees it: the bytes ran out or do not inflate.
bool ReadFailure(WalkError error) {
  return error == WalkError::kShortRead || error == WalkError::kPastEnd || error == WalkError::kCorruptStream ||
         error == WalkError::kTruncatedStream || error == WalkError::kLengthMismatch;
}

WalkOutcome WalkStream(ArchiveStream& archive, const std::string& target, WalkPass pass, WalkSink& sink,
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
    return WalkEntriesSingle(archive, target, pass, sink);
  } catch (const std::bad_alloc&) {
    WalkOutcome outcome;
    outcome.error = WalkError::kNoMemory;
    return outcome;
  }
}

// A stream that gives out where a volume failed reads as damage to the walk: the volume's
// failure is what the player is told of.
WalkOutcome ExplainEnd(const ArchiveStream& archive, WalkOutcome outcome) {
  if (outcome.Ok() || !ReadFailure(outcome.error)) return outcome;
  if (!archive.bad_volume().empty()) {
    outcome.error = WalkError::kVolumeBad;
    outcome.volume = archive.bad_volume();
  } else if (archive.reached_first_volume_end()) {
    outcome = WalkOutcome();
  }
  return outcome;
}

}  // namespace

WalkOutcome WalkEntries(ArchiveStream& archive, const std::string& target, WalkPass pass, WalkSink& sink,
                        WalkThreads threads) {
  if (pass == WalkPass::kFull && !archive.FindVolumes()) {
    WalkOutcome missing;
    missing.error = WalkError::kVolumeBad;
    missing.volume = archive.bad_volume();
    return missing;
  }
  return ExplainEnd(archive, WalkStream(archive, target, pass, sink, threads));
}

WalkOutcome WalkEntries(std::FILE* archive, const std::string& target, WalkPass pass, WalkSink& sink,
                        WalkThreads threads) {
  StdioArchiveFile file(archive);
  ArchiveStream stream(file);
  return WalkEntries(stream, target, pass, sink, threads);
}

bool SumUncompressedSizes(std::FILE* archive, std::uint64_t* total) {
  StdioArchiveFile file(archive);
  ArchiveStream stream(file);
  return SumUncompressedSizes(stream, total);
}

bool SumUncompressedSizes(ArchiveStream& archive, std::uint64_t* total, std::uint64_t cluster) {
  if (cluster == 0) cluster = 1;
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
    // Sizes are below 2^31 and there are fewer entries than bytes: the sum cannot overflow.
    if (entry.size > 0) sum += (static_cast<std::uint64_t>(entry.size) + cluster - 1) / cluster * cluster;
    if (!entries.SkipData()) return false;
  }
}
