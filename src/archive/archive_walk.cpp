#include "archive/archive_walk.h"

#include <new>

#include "archive/entry_iterator.h"
#include "archive/overlapped_walk.h"
#include "archive/single_walk.h"

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
    return WalkEntriesSingle(archive, target, pass, sink);
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
