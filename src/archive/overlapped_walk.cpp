// The full pass with inflating and writing overlapped. A reader thread reads headers, time
// stamps and packed data in archive order; two inflater threads each take the next file not
// yet taken and inflate it into a small pool of blocks; the calling thread makes the folders
// and files in archive order, exactly as the single-thread walk would. The sink is only ever
// called from the calling thread (it may pump window messages). Every failure is recorded at
// its entry and the calling thread stops there, so the first failing entry still ends the
// walk with nothing written after it.
#include "archive/overlapped_walk.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "archive/archive_stream.h"
#include "archive/entry_steps.h"
#include "common/thread_sync.h"

namespace {

constexpr std::size_t kInflaters = 2;
// Memory stays at these blocks whatever the size of the archive.
constexpr std::size_t kInputBlocks = 8;
constexpr std::size_t kOutputBlocks = 16;
// Output blocks only the file being written may take, so that an inflater running ahead
// can never starve it.
constexpr std::size_t kReservedForHead = 2;
// Entries read ahead of the one being written (folders and empty files need no block).
constexpr std::size_t kEntriesAhead = 64;
// How often the calling thread, waiting for the reader, lets its windows answer.
constexpr unsigned kPumpMilliseconds = 50;

// A fixed ring: an entry never holds more blocks than a pool has.
template <typename T, std::size_t N>
class Ring {
 public:
  bool empty() const { return count_ == 0; }
  void push(const T& item) {
    items_[(head_ + count_) % N] = item;  // callers hold at most N: the pools are that small
    ++count_;
  }
  T pop() {
    T item = items_[head_];
    head_ = (head_ + 1) % N;
    --count_;
    return item;
  }

 private:
  std::array<T, N> items_{};
  std::size_t head_ = 0, count_ = 0;
};

struct Chunk {
  unsigned char* block = nullptr;
  std::size_t length = 0;
};

struct Filled {
  unsigned char* block = nullptr;
  std::size_t length = 0;
  std::int64_t consumed = 0;  // archive bytes read so far, as the single-thread walk counts them
};

// What an inflater needs of the file entry it took.
struct FileWork {
  std::size_t seq = 0;
  std::uint32_t packed = 0;
  std::int64_t consumed_before = 0;
};

using EntryKind = EntryStep::Kind;

struct Entry {
  // Set by the reader before the entry is published, read-only afterwards.
  EntryStep step;
  std::int64_t entry_offset = 0;
  std::int64_t consumed_before = 0;  // archive bytes read before the file's data

  // Shared under the lock.
  Ring<Chunk, kInputBlocks> input;
  Ring<Filled, kOutputBlocks> output;
  bool finished = false;  // inflating is over; `result` holds how it ended
  WalkError result = WalkError::kNone;
};

// Threads of one kind asleep on one condition. Waking is left out when none sleeps, or when
// all that sleep have been woken already: every wake-up is a system call.
class Sleepers {
 public:
  template <class Ready>
  void Wait(std::unique_lock<SyncLock>& lock, Ready ready) {
    while (!ready()) Sleep(lock, false);
  }
  // The same for the calling thread, which keeps its windows answering while it waits: a
  // volume being checked, or slow media, can hold the reader up for seconds.
  template <class Ready>
  void WaitPumping(std::unique_lock<SyncLock>& lock, Ready ready, WalkSink& sink) {
    while (!ready()) {
      Sleep(lock, true);
      if (ready()) return;
      lock.unlock();
      sink.Waiting();
      lock.lock();
    }
  }
  void Wake() {
    if (sleeping_ == 0) return;
    sleeping_ = 0;
    ++round_;
    condition_.WakeAll();
  }

 private:
  void Sleep(std::unique_lock<SyncLock>& lock, bool timed) {
    ++sleeping_;
    const unsigned round = round_;
    if (timed) {
      condition_.WaitFor(lock, kPumpMilliseconds);
    } else {
      condition_.Wait(lock);
    }
    if (round == round_) --sleeping_;  // woken by nobody: still counted
  }

  SyncCondition condition_;
  int sleeping_ = 0;    // asleep and not yet woken
  unsigned round_ = 0;  // wake-ups so far
};

class Pipeline {
 public:
  Pipeline(const std::vector<unsigned char*>& input, const std::vector<unsigned char*>& output)
      : free_input_(input), free_output_(output) {}

  // --- reader ---
  // False once stopped.
  bool Publish(Entry&& entry) {
    std::unique_lock<SyncLock> lock(lock_);
    reader_.Wait(lock, [&] { return stopped_ || published_ - head_ < kEntriesAhead; });
    if (stopped_) return false;
    Entry& slot = entries_[published_ % kEntriesAhead];
    slot = std::move(entry);
    ++published_;
    inflaters_.Wake();
    writer_.Wake();
    return true;
  }
  std::size_t published() const { return published_; }  // reader's own count

  unsigned char* TakeInputBlock() {
    return TakeBlock(free_input_, reader_, [] { return std::size_t{0}; });
  }

  // False when there is no point reading on: stopped, or the entry's inflating already
  // ended, which is always a failure before its data is used up, so the walk ends there.
  bool PushChunk(std::size_t seq, Chunk chunk) {
    std::lock_guard<SyncLock> lock(lock_);
    Entry& entry = entries_[seq % kEntriesAhead];
    if (stopped_ || entry.finished) {
      free_input_.push_back(chunk.block);
      return false;
    }
    entry.input.push(chunk);
    inflaters_.Wake();
    return true;
  }

  // --- inflaters ---
  // The next file entry nobody has taken; false when there is none left or once stopped.
  bool TakeFile(FileWork* work) {
    std::unique_lock<SyncLock> lock(lock_);
    for (;;) {
      inflaters_.Wait(lock, [&] { return stopped_ || std::max(next_file_, head_) < published_; });
      if (stopped_) return false;
      // Entries before the head are done with: folders no inflater needed to look at, whose
      // slots may already hold later entries.
      next_file_ = std::max(next_file_, head_);
      Entry& entry = entries_[next_file_ % kEntriesAhead];
      if (entry.step.kind == EntryKind::kEnd || entry.step.kind == EntryKind::kFailure) return false;
      const std::size_t current = next_file_++;
      if (entry.step.kind == EntryKind::kFile) {
        work->seq = current;
        work->packed = entry.step.packed;
        work->consumed_before = entry.consumed_before;
        return true;
      }
    }
  }

  // False once stopped. The previous chunk's block, if any, goes back first.
  bool NextChunk(std::size_t seq, Chunk* chunk) {
    std::unique_lock<SyncLock> lock(lock_);
    if (chunk->block) {
      free_input_.push_back(chunk->block);
      chunk->block = nullptr;
      reader_.Wake();
    }
    Entry& entry = entries_[seq % kEntriesAhead];
    inflaters_.Wait(lock, [&] { return stopped_ || !entry.input.empty(); });
    if (stopped_) return false;
    *chunk = entry.input.pop();
    return true;
  }

  unsigned char* TakeOutputBlock(std::size_t seq) {
    return TakeBlock(free_output_, inflaters_, [&] { return seq == head_ ? 0 : kReservedForHead; });
  }

  void PushOutput(std::size_t seq, Filled output) {
    std::lock_guard<SyncLock> lock(lock_);
    entries_[seq % kEntriesAhead].output.push(output);
    writer_.Wake();
  }

  void ReturnOutputBlock(unsigned char* block) {
    std::lock_guard<SyncLock> lock(lock_);
    free_output_.push_back(block);  // never more than it started with: no allocation
    inflaters_.Wake();
  }

  // Ends the entry's inflating; input it did not use goes back to the pool.
  void Finish(std::size_t seq, WalkError result, Chunk* current) {
    std::lock_guard<SyncLock> lock(lock_);
    Entry& entry = entries_[seq % kEntriesAhead];
    if (current->block) free_input_.push_back(current->block);
    current->block = nullptr;
    while (!entry.input.empty()) free_input_.push_back(entry.input.pop().block);
    entry.finished = true;
    entry.result = result;
    reader_.Wake();
    writer_.Wake();
  }

  // --- the calling thread ---
  Entry& WaitForHead(WalkSink& sink) {
    std::unique_lock<SyncLock> lock(lock_);
    writer_.WaitPumping(lock, [&] { return head_ < published_; }, sink);
    return entries_[head_ % kEntriesAhead];
  }

  // False when the file's inflating has ended and all its output was taken.
  bool NextOutput(Entry& entry, Filled* output, WalkSink& sink) {
    std::unique_lock<SyncLock> lock(lock_);
    writer_.WaitPumping(lock, [&] { return entry.finished || !entry.output.empty(); }, sink);
    if (entry.output.empty()) return false;
    *output = entry.output.pop();
    return true;
  }

  void AdvanceHead() {
    std::lock_guard<SyncLock> lock(lock_);
    entries_[head_ % kEntriesAhead] = Entry();
    ++head_;
    reader_.Wake();
    inflaters_.Wake();
  }

  void Stop() {
    std::lock_guard<SyncLock> lock(lock_);
    stopped_ = true;
    reader_.Wake();
    inflaters_.Wake();
  }

 private:
  // Waits until `pool` holds more than `keep()` blocks; null once stopped.
  template <class Keep>
  unsigned char* TakeBlock(std::vector<unsigned char*>& pool, Sleepers& sleepers, Keep keep) {
    std::unique_lock<SyncLock> lock(lock_);
    sleepers.Wait(lock, [&] { return stopped_ || pool.size() > keep(); });
    if (stopped_) return nullptr;
    unsigned char* block = pool.back();
    pool.pop_back();
    return block;
  }

  SyncLock lock_;
  Sleepers reader_, inflaters_, writer_;
  std::array<Entry, kEntriesAhead> entries_;
  std::size_t head_ = 0;       // the entry being written
  std::size_t published_ = 0;  // entries the reader has handed over
  std::size_t next_file_ = 0;  // the first entry no inflater has looked at
  std::vector<unsigned char*> free_input_, free_output_;
  bool stopped_ = false;
};

// Reads entries front to back, as the single-thread walk reads them, and publishes each.
class Reader {
 public:
  Reader(ArchiveStream& archive, const std::string& target, Pipeline& pipeline)
      : entries_(archive), archive_(archive), target_(target), pipeline_(pipeline) {}

  void Run() {
    try {
      while (Step()) {
      }
    } catch (...) {
      // Only allocation can throw here; the walk ends as out of memory at this entry, and
      // the failure entry itself needs no memory.
      Entry failure;
      failure.step.kind = EntryKind::kFailure;
      failure.step.error = WalkError::kNoMemory;
      failure.entry_offset = entries_.offset();
      pipeline_.Publish(std::move(failure));
    }
  }

 private:
  // False once there is nothing more to read.
  bool Step() {
    Entry entry;
    NextEntry(entries_, archive_, target_, WalkPass::kFull, &consumed_, &entry.step);
    entry.entry_offset = entries_.offset();
    entry.consumed_before = consumed_;
    const EntryKind kind = entry.step.kind;
    const std::uint32_t packed = entry.step.packed;
    const std::size_t seq = pipeline_.published();
    if (!pipeline_.Publish(std::move(entry))) return false;
    if (kind != EntryKind::kFile) return kind == EntryKind::kFolder;
    // The data in the pieces the inflater asks for: a short read stays short, as it is for
    // the single-thread walk, and makes the same failure there.
    for (std::uint32_t remaining = packed; remaining > 0;) {
      const std::uint32_t n = NextPiece(remaining);
      remaining -= n;
      consumed_ += n;
      Chunk chunk;
      chunk.block = pipeline_.TakeInputBlock();
      if (!chunk.block) return false;
      chunk.length = archive_.Read(chunk.block, n);
      if (!pipeline_.PushChunk(seq, chunk)) return false;
    }
    return true;
  }

  EntryIterator entries_;
  ArchiveStream& archive_;
  const std::string& target_;
  Pipeline& pipeline_;
  std::int64_t consumed_ = 0;
};

// An inflater's ends of one file: pieces the reader published, blocks for the writer.
class PipelineIo : public InflateIo {
 public:
  PipelineIo(Pipeline& pipeline, std::size_t seq) : pipeline_(pipeline), seq_(seq) {}
  unsigned char* OutputBlock() override { return pipeline_.TakeOutputBlock(seq_); }
  bool Input(std::uint32_t, const unsigned char** data, std::size_t* length) override {
    if (!pipeline_.NextChunk(seq_, &chunk_)) return false;
    *data = chunk_.block;
    *length = chunk_.length;
    return true;
  }
  bool Output(unsigned char* block, std::size_t length, std::int64_t consumed) override {
    pipeline_.PushOutput(seq_, Filled{block, length, consumed});
    return true;
  }
  void Unused(unsigned char* block) override { pipeline_.ReturnOutputBlock(block); }
  Chunk* chunk() { return &chunk_; }

 private:
  Pipeline& pipeline_;
  std::size_t seq_;
  Chunk chunk_;
};

void RunInflater(Pipeline* pipeline) {
  FileWork work;
  while (pipeline->TakeFile(&work)) {
    PipelineIo io(*pipeline, work.seq);
    const InflateResult inflated = InflateEntryData(work.packed, work.consumed_before, io);
    if (inflated.stopped) return;  // the walk is over
    pipeline->Finish(work.seq, inflated.error, io.chunk());
  }
}

// Writes the file's blocks as they come; how its inflating ended, or kWriteFailed.
WalkError WriteBlocks(Pipeline& pipeline, Entry& entry, FileOutput& output, WalkSink& sink) {
  Filled block;
  while (pipeline.NextOutput(entry, &block, sink)) {
    const bool ok = output.Write(block.block, block.length, block.consumed);
    pipeline.ReturnOutputBlock(block.block);
    if (!ok) return WalkError::kWriteFailed;
  }
  return entry.result;
}

// Stops and joins the threads on every way out, an exception from the sink included.
class ThreadsGuard {
 public:
  explicit ThreadsGuard(Pipeline& pipeline) : pipeline_(pipeline) {}
  ~ThreadsGuard() {
    pipeline_.Stop();
    for (std::thread& thread : threads) {
      if (thread.joinable()) thread.join();
    }
  }
  ThreadsGuard(const ThreadsGuard&) = delete;
  ThreadsGuard& operator=(const ThreadsGuard&) = delete;
  std::array<std::thread, 1 + kInflaters> threads;

 private:
  Pipeline& pipeline_;
};

}  // namespace

bool WalkEntriesOverlapped(ArchiveStream& archive, const std::string& target, WalkSink& sink, WalkOutcome* outcome) {
  // Every block is taken before the first entry is read.
  BlockPool pool(sink);
  if (!pool.FillTo(kInputBlocks + kOutputBlocks)) return false;
  const auto middle = pool.blocks().begin() + kInputBlocks;
  Pipeline pipeline(std::vector<unsigned char*>(pool.blocks().begin(), middle),
                    std::vector<unsigned char*>(middle, pool.blocks().end()));
  Reader reader(archive, target, pipeline);
  ThreadsGuard guard(pipeline);
  try {
    // The reader last: until it runs, nothing has been read.
    for (std::size_t i = 1; i < guard.threads.size(); ++i) guard.threads[i] = std::thread(RunInflater, &pipeline);
    guard.threads[0] = std::thread(&Reader::Run, &reader);
  } catch (const std::system_error&) {
    return false;  // no threads to be had: the single-thread walk takes over
  }

  for (;;) {
    Entry& entry = pipeline.WaitForHead(sink);
    WalkError error = WalkError::kNone;
    switch (entry.step.kind) {
      case EntryKind::kEnd: *outcome = WalkOutcome(); return true;
      case EntryKind::kSkipped: break;  // not in the full pass
      case EntryKind::kFolder: sink.CreateFolder(entry.step.path); break;
      case EntryKind::kFailure: error = entry.step.error; break;
      case EntryKind::kFile: {
        FileOutput output(sink, entry.step.path);
        error = output.Open(entry.step.size);
        if (error == WalkError::kNone) error = output.Finish(WriteBlocks(pipeline, entry, output, sink), entry.step.filetime);
        break;
      }
    }
    if (error != WalkError::kNone) {
      *outcome = WalkOutcome{error, entry.step.name, entry.entry_offset, {}};
      return true;
    }
    pipeline.AdvanceHead();
  }
}
