// What the walk does with one entry, written once. Both schedules run these steps and
// decide only where each runs: single_walk.cpp runs them in a loop on the caller's thread;
// overlapped_walk.cpp reads headers on one thread, inflates on two more and writes on the
// caller's. Read entry_steps.cpp top to bottom to learn what one entry does.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/entry_iterator.h"
#include "archive/walk_sink.h"

// --- 1. The header ---

struct EntryStep {
  enum class Kind { kEnd, kFailure, kSkipped, kFolder, kFile };
  Kind kind = Kind::kEnd;
  WalkError error = WalkError::kNone;  // kFailure
  std::string name;                    // the entry's name; empty when its header is unreadable
  std::string path;                    // kFolder, kFile: the name joined below the target
  std::int32_t size = 0;               // kFile
  std::uint32_t packed = 0;            // kFile
  std::uint64_t filetime = 0;          // kFile
};

// Reads the next header (and a file's time stamp) and decides what the pass does with it;
// `consumed` counts the archive bytes read. A file's data is left for InflateEntryData.
void NextEntry(EntryIterator& entries, ArchiveStream& archive, const std::string& target, WalkPass pass,
               std::int64_t* consumed, EntryStep* step);

// --- 2. The data ---

// The packed data is read in pieces of at most one block, whoever reads it.
inline std::uint32_t NextPiece(std::uint32_t remaining) {
  return remaining < static_cast<std::uint32_t>(kBlockSize) ? remaining : static_cast<std::uint32_t>(kBlockSize);
}

// Where one file's packed data comes from and its output goes. Each call may stop the
// inflating (the walk is over, or the output could not be written); the schedule knows why.
class InflateIo {
 public:
  virtual ~InflateIo() = default;
  // A block of kBlockSize bytes to inflate into; null stops.
  virtual unsigned char* OutputBlock() = 0;
  // The next piece of packed data, `size` bytes asked for (fewer where the archive ends).
  virtual bool Input(std::uint32_t size, const unsigned char** data, std::size_t* length) = 0;
  // `block` holds `length` bytes of output; `consumed` archive bytes had been read for it.
  virtual bool Output(unsigned char* block, std::size_t length, std::int64_t consumed) = 0;
  // A block from OutputBlock that Output never got.
  virtual void Unused(unsigned char* /*block*/) {}
};

struct InflateResult {
  WalkError error = WalkError::kNone;
  bool stopped = false;  // the io stopped it; `error` means nothing then
};

// Inflates one file's zlib stream of `packed` bytes; `consumed` archive bytes lie before it.
InflateResult InflateEntryData(std::uint32_t packed, std::int64_t consumed, InflateIo& io);

// --- 3. The output file ---

// The file one entry makes, on the thread that may call the sink.
class FileOutput {
 public:
  FileOutput(WalkSink& sink, const std::string& path) : sink_(sink), path_(path) {}
  // kCreateFailed when the file cannot be made.
  WalkError Open(std::int32_t size);
  // Writes one block and shows the progress; false when it could not be written.
  bool Write(const unsigned char* data, std::size_t length, std::int64_t consumed);
  // Closes the file on every way; stamps it only when it was inflated and written whole. A
  // failing file stays on disk as far as it was written.
  WalkError Finish(WalkError inflated, std::uint64_t filetime);

 private:
  WalkSink& sink_;
  const std::string& path_;
  std::int64_t written_ = 0;
};

// --- What the steps hold ---

// An inflate stream, ended on every way out once opened.
struct InflateStream {
  z_stream stream{};
  bool open = false;
  WalkError Open();
  ~InflateStream() {
    if (open) inflateEnd(&stream);
  }
};

// Blocks from the sink, returned to it on every way out. The first block refused ends the
// taking, and the walk ends as kNoMemory (the overlapped walk hands over to the single-thread
// walk instead).
class BlockPool {
 public:
  explicit BlockPool(WalkSink& sink) : sink_(sink) {}
  ~BlockPool() {
    for (unsigned char* block : blocks_) sink_.FreeBlock(block);
  }
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;
  // Takes blocks until `count` are held; false at the first the sink cannot give.
  bool FillTo(std::size_t count);
  const std::vector<unsigned char*>& blocks() const { return blocks_; }

 private:
  WalkSink& sink_;
  std::vector<unsigned char*> blocks_;
};
