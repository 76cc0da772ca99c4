// The full pass with inflating and writing overlapped: a worker thread reads the archive and
// inflates into a small pool of blocks while the calling thread makes the folders and files,
// exactly as the single-thread walk would, in the same order. The sink is only ever called
// from the calling thread (it may pump window messages). The worker stops at the first
// failure it sees and the calling thread replays everything before it, so the first failing
// entry still ends the walk with nothing written after it.
#include "archive/overlapped_walk.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/entry_iterator.h"
#include "archive/entry_names.h"
#include "common/byte_order.h"

namespace {

// Blocks of inflated output in flight: the walk's memory stays at a few of them whatever
// the size of the archive.
constexpr std::size_t kBlocksInFlight = 6;
// Events queued ahead (folders and empty files need no block, so they are counted too).
constexpr std::size_t kQueuedEvents = 64;

enum class EventKind { kFolder, kFileBegin, kData, kFileEnd, kFailure, kEnd };

struct Event {
  EventKind kind = EventKind::kEnd;
  std::string path;
  std::string name;                 // the entry, for a failure
  std::int64_t entry_offset = 0;
  std::int32_t size = 0;            // kFileBegin
  std::uint64_t filetime = 0;       // kFileBegin
  unsigned char* block = nullptr;   // kData
  std::size_t length = 0;           // kData
  std::int64_t consumed = 0;        // kData: archive bytes read so far
  WalkError error = WalkError::kNone;
};

class EventQueue {
 public:
  explicit EventQueue(const std::vector<unsigned char*>& blocks) : free_blocks_(blocks) {}

  // False once the walk has been stopped.
  bool Push(Event&& event) {
    std::unique_lock<std::mutex> lock(mutex_);
    space_.wait(lock, [&] { return stopped_ || count_ < events_.size(); });
    if (stopped_) return false;
    events_[(head_ + count_) % events_.size()] = std::move(event);
    ++count_;
    ready_.notify_one();
    return true;
  }

  Event Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return count_ > 0; });
    Event event = std::move(events_[head_]);
    head_ = (head_ + 1) % events_.size();
    --count_;
    space_.notify_one();
    return event;
  }

  // Null once the walk has been stopped.
  unsigned char* TakeBlock() {
    std::unique_lock<std::mutex> lock(mutex_);
    space_.wait(lock, [&] { return stopped_ || !free_blocks_.empty(); });
    if (stopped_) return nullptr;
    unsigned char* block = free_blocks_.back();
    free_blocks_.pop_back();
    return block;
  }

  void ReturnBlock(unsigned char* block) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_blocks_.push_back(block);  // never more than it started with: no allocation
    space_.notify_one();
  }

  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    space_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_, space_;
  std::array<Event, kQueuedEvents> events_;
  std::size_t head_ = 0, count_ = 0;
  std::vector<unsigned char*> free_blocks_;
  bool stopped_ = false;
};

// The worker's side: headers, time stamps and inflated data, in archive order.
class Producer {
 public:
  Producer(std::FILE* archive, const std::string& target, unsigned char* input, EventQueue& queue)
      : entries_(archive), archive_(archive), target_(target), input_(input), queue_(queue) {}

  void Run() {
    try {
      while (Step()) {
      }
    } catch (...) {
      // Only allocation can throw here; the walk ends as out of memory at this entry.
      Event failure;
      failure.kind = EventKind::kFailure;
      failure.error = WalkError::kNoMemory;
      failure.entry_offset = entries_.offset();
      queue_.Push(std::move(failure));
    }
  }

 private:
  // False once the walk is over for this side.
  bool Step() {
    switch (entries_.Next()) {
      case HeaderStatus::kEnd:
        Send(EventKind::kEnd);
        return false;
      case HeaderStatus::kShort: return Fail(WalkError::kShortRead, std::string());
      case HeaderStatus::kBadName: return Fail(WalkError::kBadName, entries_.entry().name);
      case HeaderStatus::kEntry: break;
    }
    const EntryHeader& entry = entries_.entry();
    consumed_ += entry.HeaderBytes();
    std::string path;
    if (!JoinOutputPath(target_, entry.name, &path)) return Fail(WalkError::kPathTooLong, entry.name);
    if (entry.IsFolder()) {
      Event folder;
      folder.kind = EventKind::kFolder;
      folder.path = std::move(path);
      return queue_.Push(std::move(folder));
    }
    return File(entry, std::move(path));
  }

  bool File(const EntryHeader& entry, std::string path) {
    unsigned char stamp[kTimeBytes];
    if (std::fread(stamp, 1, kTimeBytes, archive_) != kTimeBytes) return Fail(WalkError::kShortRead, entry.name);
    consumed_ += kTimeBytes;
    Event begin;
    begin.kind = EventKind::kFileBegin;
    begin.path = std::move(path);
    begin.name = entry.name;
    begin.entry_offset = entries_.offset();
    begin.size = entry.size;
    begin.filetime = LoadU64(stamp);
    if (!queue_.Push(std::move(begin))) return false;

    InflateStream inflater;
    z_stream& zs = inflater.stream;
    if (inflateInit(&zs) != Z_OK) return Fail(WalkError::kInflateInit, entry.name);
    inflater.open = true;
    unsigned char* out = queue_.TakeBlock();
    if (!out) return false;
    zs.next_out = out;
    zs.avail_out = kBlockSize;
    std::uint32_t remaining = entry.packed;
    for (;;) {
      if (zs.avail_in == 0 && remaining > 0) {
        const std::uint32_t n = std::min<std::uint32_t>(remaining, kBlockSize);
        consumed_ += n;
        remaining -= n;
        zs.next_in = input_;
        zs.avail_in = static_cast<uInt>(std::fread(input_, 1, n, archive_));
      }
      const int result = inflate(&zs, Z_NO_FLUSH);
      if (result == Z_STREAM_END) break;
      if (result != Z_OK) {
        queue_.ReturnBlock(out);
        // Z_BUF_ERROR: no progress possible, the stream wants more than its stored length.
        return Fail(result == Z_BUF_ERROR ? WalkError::kTruncatedStream : WalkError::kCorruptStream, entry.name);
      }
      if (zs.avail_out == 0) {
        if (!SendData(out, kBlockSize)) return false;
        out = queue_.TakeBlock();
        if (!out) return false;
        zs.next_out = out;
        zs.avail_out = kBlockSize;
      }
    }
    const std::size_t last = kBlockSize - zs.avail_out;
    if (last > 0) {
      if (!SendData(out, last)) return false;
    } else {
      queue_.ReturnBlock(out);
    }
    // Bytes of the stored length left over would be read as the next entry's header.
    if (remaining > 0 || zs.avail_in > 0) return Fail(WalkError::kLengthMismatch, entry.name);
    inflater.open = false;
    if (inflateEnd(&zs) != Z_OK) return Fail(WalkError::kCorruptStream, entry.name);
    return Send(EventKind::kFileEnd);
  }

  bool SendData(unsigned char* block, std::size_t length) {
    Event data;
    data.kind = EventKind::kData;
    data.block = block;
    data.length = length;
    data.consumed = consumed_;
    if (queue_.Push(std::move(data))) return true;
    queue_.ReturnBlock(block);
    return false;
  }

  bool Send(EventKind kind) {
    Event event;
    event.kind = kind;
    return queue_.Push(std::move(event));
  }

  // Always false: the failure ends this side.
  bool Fail(WalkError error, const std::string& name) {
    Event failure;
    failure.kind = EventKind::kFailure;
    failure.error = error;
    failure.name = name;
    failure.entry_offset = entries_.offset();
    queue_.Push(std::move(failure));
    return false;
  }

  EntryIterator entries_;
  std::FILE* archive_;
  const std::string& target_;
  unsigned char* input_;
  EventQueue& queue_;
  std::int64_t consumed_ = 0;
};

// Blocks from the sink, returned to it on every way out.
class BlockPool {
 public:
  explicit BlockPool(WalkSink& sink) : sink_(sink) {}
  ~BlockPool() {
    for (unsigned char* block : blocks_) sink_.FreeBlock(block);
  }
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;
  bool Fill(std::size_t count) {
    blocks_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      auto* block = static_cast<unsigned char*>(sink_.AllocateBlock(kBlockSize));
      if (!block) return false;
      blocks_.push_back(block);
    }
    return true;
  }
  const std::vector<unsigned char*>& blocks() const { return blocks_; }

 private:
  WalkSink& sink_;
  std::vector<unsigned char*> blocks_;
};

// Stops and joins the worker on every way out, an exception from the sink included.
class WorkerGuard {
 public:
  WorkerGuard(EventQueue& queue, std::thread& worker) : queue_(queue), worker_(worker) {}
  ~WorkerGuard() {
    queue_.Stop();
    if (worker_.joinable()) worker_.join();
  }
  WorkerGuard(const WorkerGuard&) = delete;
  WorkerGuard& operator=(const WorkerGuard&) = delete;

 private:
  EventQueue& queue_;
  std::thread& worker_;
};

}  // namespace

bool WalkEntriesOverlapped(std::FILE* archive, const std::string& target, WalkSink& sink, WalkOutcome* outcome) {
  // The input block and the blocks in flight, all taken before the first entry.
  BlockPool pool(sink);
  if (!pool.Fill(kBlocksInFlight + 1)) return false;
  std::vector<unsigned char*> output_blocks(pool.blocks().begin() + 1, pool.blocks().end());
  EventQueue queue(output_blocks);
  Producer producer(archive, target, pool.blocks().front(), queue);
  std::thread worker;
  WorkerGuard guard(queue, worker);
  worker = std::thread(&Producer::Run, &producer);

  *outcome = WalkOutcome();
  Event file;  // the file being written
  bool output_open = false;
  std::int64_t written = 0;
  auto fail = [&](WalkError error, const std::string& name, std::int64_t offset) {
    if (output_open) sink.CloseOutput();
    output_open = false;
    outcome->error = error;
    outcome->entry_name = name;
    outcome->entry_offset = offset;
    return true;
  };
  for (;;) {
    Event event = queue.Pop();
    switch (event.kind) {
      case EventKind::kEnd: return true;
      case EventKind::kFailure: return fail(event.error, event.name, event.entry_offset);
      case EventKind::kFolder: sink.CreateFolder(event.path); break;
      case EventKind::kFileBegin:
        file = std::move(event);
        if (!sink.OpenOutput(file.path)) return fail(WalkError::kCreateFailed, file.name, file.entry_offset);
        output_open = true;
        written = 0;
        sink.BeginFile(file.path, BlocksOf(file.size));
        break;
      case EventKind::kData: {
        const bool ok = sink.WriteOutput(event.block, event.length);
        queue.ReturnBlock(event.block);
        if (!ok) return fail(WalkError::kWriteFailed, file.name, file.entry_offset);
        written += static_cast<std::int64_t>(event.length);
        sink.UpdateProgress(BlocksOf(written), BlocksOf(event.consumed));
        sink.Pump();
        break;
      }
      case EventKind::kFileEnd:
        output_open = false;
        if (!sink.CloseOutput()) return fail(WalkError::kWriteFailed, file.name, file.entry_offset);
        sink.SetWriteTime(file.path, file.filetime);
        break;
    }
  }
}
