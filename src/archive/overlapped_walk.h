// The full pass on worker threads, and what it shares with the single-thread walk; see
// archive_walk.h for what a walk does.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/archive_walk.h"

// An inflate stream, ended on every way out once opened.
struct InflateStream {
  z_stream stream{};
  bool open = false;
  ~InflateStream() {
    if (open) inflateEnd(&stream);
  }
};

// Blocks from the sink, returned to it on every way out. Both walks take their blocks
// here: the first block refused ends the taking, and the walk ends as kNoMemory (the
// overlapped walk hands over to the single-thread walk instead).
class BlockPool {
 public:
  explicit BlockPool(WalkSink& sink) : sink_(sink) {}
  ~BlockPool() {
    for (unsigned char* block : blocks_) sink_.FreeBlock(block);
  }
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;
  // False at the first block the sink cannot give; the blocks taken so far stay owned here.
  bool Fill(std::size_t count);
  const std::vector<unsigned char*>& blocks() const { return blocks_; }

 private:
  WalkSink& sink_;
  std::vector<unsigned char*> blocks_;
};

// zlib's own allocations failing is memory running out too, not damage.
inline WalkError InflateFailure(int result) {
  if (result == Z_MEM_ERROR) return WalkError::kNoMemory;
  // Z_BUF_ERROR: no progress possible, the stream wants more than its stored length.
  return result == Z_BUF_ERROR ? WalkError::kTruncatedStream : WalkError::kCorruptStream;
}

// Walks every entry with reading and inflating on worker threads; the sink is called from
// this thread only, in the order and with the outcome of the single-thread walk. False, with
// nothing read, when the sink cannot give the few blocks it needs or no thread can be started.
bool WalkEntriesOverlapped(std::FILE* archive, const std::string& target, WalkSink& sink, WalkOutcome* outcome);
