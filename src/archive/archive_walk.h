// The archive walk: reads entries front to back and writes them below a target folder.
// What one entry takes is written once (entry_steps.h); this chooses where the steps run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "archive/walk_sink.h"

class ArchiveStream;

enum class WalkThreads : int {
  kOverlapped = 0,  // the full pass inflates on worker threads while this one writes
  kSingle = 1,      // everything on this thread (the setup pass always is)
};

// Walks the archive from the stream's position (its first entry) into `target`. The sink
// is called from this thread only, and the outcome does not depend on `threads`. Memory that
// runs out on any of the walk's threads (a block, zlib's state, the walk's own records) ends
// the walk as kNoMemory; the full pass that cannot have its blocks for the threads runs on
// this thread alone, with two blocks.
// A further volume that fails its check ends the walk as kVolumeBad, naming it: before
// anything is written when one is missing or of the wrong size, else before a byte of it is
// used. The setup pass over a stream of VolumeUse::kFirstOnly ends where the first volume does.
WalkOutcome WalkEntries(ArchiveStream& archive, const std::string& target, WalkPass pass, WalkSink& sink,
                        WalkThreads threads = WalkThreads::kOverlapped);
// An archive of one volume, from the stream's position to its end.
WalkOutcome WalkEntries(std::FILE* archive, const std::string& target, WalkPass pass, WalkSink& sink,
                        WalkThreads threads = WalkThreads::kOverlapped);

// Sums the uncompressed sizes of every file entry, reading headers only, each rounded up to
// a whole number of `cluster` bytes (what it takes on a disk of that cluster size).
bool SumUncompressedSizes(ArchiveStream& archive, std::uint64_t* total, std::uint64_t cluster = 1);
bool SumUncompressedSizes(std::FILE* archive, std::uint64_t* total);
