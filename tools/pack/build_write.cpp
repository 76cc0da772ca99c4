// The compress and write steps of build: the stub, then the entries while workers
// compress ahead of the writer, then the end marker and the trailer.
#include "build_write.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "archive/entry_names.h"
#include "archive/volume_set.h"
#include "archive_output.h"
#include "common/cp932.h"
#include "common/byte_order.h"
#include "file_compress.h"
#include "pe_signature.h"
#include "platform.h"
#include "zlib_streams.h"

namespace {

// Source bytes of what the workers hold ahead of the writer, at most (the 32-bit Windows
// tool has little address space to spare): whole files up to kWholeFileLimit
// (file_compress.h), and the chunks of larger ones.
constexpr std::uint64_t kInFlightLimit = 48u << 20;
// Large files are compressed in chunks of this size, side by side; the chunks' places in
// the file do not depend on the thread count, and neither do the bytes.
constexpr std::uint64_t kChunkSize = 4u << 20;
// Whether deflate gains anything on a large file is judged from pieces spread evenly over it.
constexpr std::size_t kSampleBytes = 64u << 10;
constexpr std::uint64_t kSamples = 16;

bool ChunkedEntry(const PackEntry& entry) {
  return !entry.folder && !entry.source_path.empty() && entry.size > kWholeFileLimit;
}

// A large file is planned from its size in the scan; one over what an entry can hold is
// refused by the writer before any work is done.
std::uint64_t ChunkCount(const PackEntry& entry) {
  if (!ChunkedEntry(entry) || entry.size > static_cast<std::uint64_t>(kEntryLimit)) return 1;
  return (entry.size + kChunkSize - 1) / kChunkSize;
}

// One piece of the workers' work: a whole entry, or one chunk of a large file.
struct Task {
  std::size_t entry;
  std::uint64_t chunk;
};

std::uint64_t ChunkBegin(const Task& task) { return task.chunk * kChunkSize; }

// What a task holds while in flight: whole files their size, chunks theirs and the window
// before them.
std::uint64_t TaskCost(const PackEntry& entry, const Task& task) {
  if (entry.folder) return 0;
  if (!ChunkedEntry(entry)) return entry.size;
  if (entry.size > static_cast<std::uint64_t>(kEntryLimit)) return 0;
  const std::uint64_t begin = ChunkBegin(task);
  return std::min(kChunkSize, entry.size - begin) + std::min<std::uint64_t>(kChunkWindow, begin);
}

// One task's result waiting to be written, filled by a worker: a whole zlib stream, or a
// chunk's raw deflate (or stored) bytes and the Adler-32 of its input.
struct Slot {
  bool done = false;
  bool ok = false;
  std::uint64_t size = 0;  // input bytes
  std::uint32_t adler = 1;
  std::vector<unsigned char> stream;
  std::string error;
  bool out_of_memory = false;  // no text is made where memory ran out
};

// How a large file goes into its stream; decided once, by the task of its first chunk.
enum class Plan { kUnknown, kDeflate, kStore, kFailed };

bool ReadWholeFile(std::FILE* in, std::uint64_t expected_size, std::vector<unsigned char>* data, std::string* why) {
  // One byte more than expected, so that a file that grew since the scan is read to its end.
  data->resize(static_cast<std::size_t>(expected_size) + 1);
  std::size_t used = 0;
  for (;;) {
    used += std::fread(data->data() + used, 1, data->size() - used, in);
    if (std::ferror(in)) {
      *why = "read error";
      return false;
    }
    if (used < data->size()) break;
    data->resize(data->size() + (1u << 20));
  }
  data->resize(used);
  return true;
}

bool CompressEntry(const PackEntry& entry, Slot* slot) {
  std::vector<unsigned char> read;
  const std::vector<unsigned char>* data = &entry.data;
  if (!entry.source_path.empty()) {
    FilePtr in(OpenFile(entry.source_path, "rb"));
    if (!in) {
      slot->error = "cannot open " + entry.source_path;
      return false;
    }
    std::string why;
    if (!ReadWholeFile(in.get(), entry.size, &read, &why)) {
      slot->error = "cannot read " + entry.source_path + " (" + why + ")";
      return false;
    }
    data = &read;
  }
  slot->size = data->size();
  if (!CompressWholeBuffer(data->data(), data->size(), &slot->stream)) {
    slot->error = "compression failed";
    return false;
  }
  // What deflate cannot shrink is stored: as small, and the reader only copies it.
  if (slot->stream.size() >= StoredStreamSize(data->size())) {
    MakeStoredStream(data->data(), data->size(), &slot->stream);
  }
  return true;
}

bool ReadExactly(std::FILE* in, std::uint64_t at, unsigned char* data, std::size_t size, std::string* why) {
  if (SeekFile(in, static_cast<std::int64_t>(at), SEEK_SET) && std::fread(data, 1, size, in) == size) return true;
  *why = std::ferror(in) ? "read error" : "it changed while being packed";
  return false;
}

// Deflate is worth it when the samples shrink by 0.1% or more; random data (sound, movies,
// what is compressed already) does not, and is stored. The samples are compressed as whole
// streams, less their header and Adler-32.
bool DecidePlan(std::FILE* in, std::uint64_t size, Plan* plan, std::string* why) {
  std::vector<unsigned char> piece(kSampleBytes);
  std::vector<unsigned char> packed;
  std::uint64_t raw = 0;
  std::uint64_t deflated = 0;
  for (std::uint64_t s = 0; s < kSamples; ++s) {
    const std::uint64_t at = (size - kSampleBytes) * s / (kSamples - 1);
    if (!ReadExactly(in, at, piece.data(), piece.size(), why)) return false;
    if (!CompressWholeBuffer(piece.data(), piece.size(), &packed)) {
      *why = "compression failed";
      return false;
    }
    raw += kSampleBytes;
    deflated += packed.size() - sizeof kZlibHeader - 4;
  }
  *plan = deflated * 1000 < raw * 999 ? Plan::kDeflate : Plan::kStore;
  return true;
}

// One chunk of a large file: its input (after the window the compressor refers back to),
// compressed or stored, and its Adler-32. The file must still be as long as the scan found
// it: the chunks were planned from that size.
bool CompressFileChunk(const PackEntry& entry, const Task& task, std::FILE* in, Plan plan, Slot* slot) {
  const std::uint64_t begin = ChunkBegin(task);
  const std::size_t length = static_cast<std::size_t>(std::min(kChunkSize, entry.size - begin));
  const bool last = begin + length == entry.size;
  const std::size_t window =
      plan == Plan::kStore ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(kChunkWindow, begin));
  std::vector<unsigned char> data(window + length);
  std::string why;
  bool read = ReadExactly(in, begin - window, data.data(), data.size(), &why);
  if (read && last && std::fgetc(in) != EOF) {
    why = "it changed while being packed";
    read = false;
  }
  if (!read) {
    slot->error = "cannot read " + entry.source_path + " (" + why + ")";
    return false;
  }
  const unsigned char* chunk = data.data() + window;
  slot->size = length;
  slot->adler = Adler32Update(1, chunk, length);
  if (plan == Plan::kStore) {
    AppendStoredBlocks(chunk, length, last, &slot->stream);
  } else if (!CompressChunk(chunk, length, window, last, &slot->stream)) {
    slot->error = "compression failed";
    return false;
  }
  return true;
}

// Workers that compress the entries' tasks ahead of the writer, which takes the results in
// order. What is in flight stays bounded: a few tasks ahead of the writer, and at most
// kInFlightLimit bytes of them (the task the writer waits for always goes ahead, so the
// budget cannot stall it). Running out of memory in a worker fails its task with a message,
// as any error does. However the writer leaves, the destructor stops and joins the workers.
class Pipeline {
 public:
  Pipeline(const std::vector<PackEntry>& entries, unsigned jobs)
      : entries_(entries), first_task_(entries.size() + 1), plans_(entries.size(), Plan::kUnknown),
        ahead_(std::max<std::size_t>(8 * jobs, 16)) {
    for (std::size_t e = 0; e < entries.size(); ++e) {
      first_task_[e] = tasks_.size();
      for (std::uint64_t k = 0, n = ChunkCount(entries[e]); k < n; ++k) tasks_.push_back({e, k});
    }
    first_task_[entries.size()] = tasks_.size();
    slots_.resize(tasks_.size());
    try {
      for (unsigned t = 0; t < jobs; ++t) threads_.emplace_back([this] { Work(); });
    } catch (...) {
      StopAndJoin();  // a thread that could not start leaves no running ones behind
      throw;
    }
  }
  ~Pipeline() { StopAndJoin(); }
  std::size_t FirstTask(std::size_t entry) const { return first_task_[entry]; }
  std::size_t TaskCount(std::size_t entry) const { return first_task_[entry + 1] - first_task_[entry]; }

  // Waits for a task's result and hands it over.
  Slot Take(std::size_t task) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return slots_[task].done; });
    return std::move(slots_[task]);
  }
  // The writer is done with a task (and has dropped its result): the next ones may go ahead.
  void Release(std::size_t task, bool failed) {
    std::lock_guard<std::mutex> lock(mutex_);
    written_ = task + 1;
    in_flight_ -= TaskCost(entries_[tasks_[task].entry], tasks_[task]);
    if (failed) stop_ = true;
    changed_.notify_all();
  }

 private:
  void StopAndJoin() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  void Work() {
    for (;;) {
      const std::size_t i = next_.fetch_add(1);
      if (i >= tasks_.size()) return;
      const Task& task = tasks_[i];
      const PackEntry& entry = entries_[task.entry];
      const std::uint64_t cost = TaskCost(entry, task);
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] {
          return stop_ || i == written_ || (i < written_ + ahead_ && in_flight_ + cost <= kInFlightLimit);
        });
        if (stop_) return;
        in_flight_ += cost;
      }
      Slot slot;
      try {
        if (!Run(task, entry, &slot)) return;
      } catch (const std::bad_alloc&) {
        slot = Slot();
        slot.out_of_memory = true;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      slot.done = true;
      slots_[i] = std::move(slot);
      changed_.notify_all();
    }
  }

  // Fills the slot (ok or with an error); false when the workers are being stopped.
  bool Run(const Task& task, const PackEntry& entry, Slot* slot) {
    if (entry.folder || (ChunkedEntry(entry) && entry.size > static_cast<std::uint64_t>(kEntryLimit))) {
      slot->ok = true;
      return true;
    }
    if (!ChunkedEntry(entry)) {
      slot->ok = CompressEntry(entry, slot);
      return true;
    }
    FilePtr in;
    Plan plan = Plan::kFailed;
    if (task.chunk == 0) {
      // The other chunks wait for the plan, which is published however this ends.
      struct Publish {
        Pipeline* pipeline;
        std::size_t entry;
        Plan* plan;
        ~Publish() {
          {
            std::lock_guard<std::mutex> lock(pipeline->mutex_);
            pipeline->plans_[entry] = *plan;
          }
          pipeline->changed_.notify_all();
        }
      } publish{this, task.entry, &plan};
      in.reset(OpenFile(entry.source_path, "rb"));
      std::string why;
      if (!in) {
        slot->error = "cannot open " + entry.source_path;
      } else if (!DecidePlan(in.get(), entry.size, &plan, &why)) {
        slot->error = "cannot read " + entry.source_path + " (" + why + ")";
      }
    } else {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || plans_[task.entry] != Plan::kUnknown; });
      if (stop_) return false;
      plan = plans_[task.entry];
    }
    if (plan == Plan::kFailed) return true;  // the first chunk has the error
    if (!in) in.reset(OpenFile(entry.source_path, "rb"));
    if (!in) {
      slot->error = "cannot open " + entry.source_path;
      return true;
    }
    slot->ok = CompressFileChunk(entry, task, in.get(), plan, slot);
    return true;
  }

  const std::vector<PackEntry>& entries_;
  std::vector<Task> tasks_;
  std::vector<std::size_t> first_task_;  // per entry, and the end
  std::vector<Slot> slots_;
  std::vector<Plan> plans_;
  const std::size_t ahead_;  // tasks a worker may take beyond the one the writer waits for
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t written_ = 0;      // tasks handed to the file so far
  std::uint64_t in_flight_ = 0;  // cost of the tasks taken but not yet written
  std::atomic<std::size_t> next_{0};
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

// Writes a large file's entry from its chunks: the header goes out with zero sizes and is
// completed once the stream's length is known. The stream is the zlib header, the chunks in
// order and the Adler-32 of the whole file, combined from the chunks'.
bool WriteChunkedEntry(ArchiveOutput& out, std::size_t e, const PackEntry& entry, Pipeline& pipeline,
                       std::string* error) {
  const std::int64_t header_at = out.Position();
  std::vector<unsigned char> header;
  unsigned char stamp[8];
  StoreU64(stamp, entry.filetime);
  if (!EncodeEntryHeader(entry.name, 0, 0, &header) || !out.Write(header) || !out.Write(stamp, sizeof stamp)) {
    *error = out.error();
    return false;
  }
  std::int64_t packed = 0;
  auto write = [&](const unsigned char* data, std::size_t size) {
    packed += static_cast<std::int64_t>(size);
    if (packed > kEntryLimit) {
      *error = "its stream would reach the 2 GiB an entry can hold";
      return false;
    }
    if (out.Write(data, size)) return true;
    *error = out.error();
    return false;
  };
  if (!write(kZlibHeader, sizeof kZlibHeader)) return false;
  std::uint32_t adler = 1;
  std::uint64_t input_size = 0;
  for (std::size_t t = pipeline.FirstTask(e), end = t + pipeline.TaskCount(e); t < end; ++t) {
    Slot slot = pipeline.Take(t);
    bool ok = slot.ok;
    if (!ok) {
      *error = slot.out_of_memory ? std::string("out of memory while compressing") : slot.error;
    } else {
      ok = write(slot.stream.data(), slot.stream.size());
      adler = static_cast<std::uint32_t>(adler32_combine(adler, slot.adler, static_cast<z_off_t>(slot.size)));
      input_size += slot.size;
    }
    slot = Slot();  // the chunk's memory goes back before the next one is taken
    pipeline.Release(t, !ok);
    if (!ok) return false;
  }
  std::vector<unsigned char> trailer;
  AppendAdler32(adler, &trailer);
  if (!write(trailer.data(), trailer.size())) return false;
  unsigned char sizes[8];
  StoreU32(sizes, static_cast<std::uint32_t>(input_size));
  StoreU32(sizes + 4, static_cast<std::uint32_t>(packed));
  const std::int64_t sizes_at = header_at + 2 + static_cast<std::int64_t>(entry.name.size()) + 1;
  if (!out.Patch(sizes_at, sizes, sizeof sizes)) {
    *error = out.error();
    return false;
  }
  return true;
}

class Progress {
 public:
  Progress(bool enabled, std::size_t total) : enabled_(enabled), total_(total) {}
  void Show(std::size_t done, std::uint64_t bytes, const std::string& name) {
    if (!enabled_) return;
    std::printf("\r\033[K[%zu/%zu] %.1f MB  %s", done, total_, bytes / 1048576.0, name.c_str());
    std::fflush(stdout);
  }
  void Finish() {
    if (!enabled_) return;
    std::printf("\r\033[K");
    std::fflush(stdout);
  }

 private:
  bool enabled_;
  std::size_t total_;
};

// Writes the entries in order while the workers compress ahead of the writer. Each file is
// its own zlib stream and a large file's chunks lie where its size puts them, so the bytes
// do not depend on how many workers ran. Every setup file must end in the first volume: the
// start-up pass reads no other.
bool WriteEntries(ArchiveOutput& out, const std::vector<PackEntry>& entries, unsigned jobs, Progress& progress,
                  std::string* error) {
  Pipeline pipeline(entries, jobs);
  bool ok = true;
  for (std::size_t i = 0; i < entries.size() && ok; ++i) {
    const PackEntry& entry = entries[i];
    std::string why;
    if (ChunkedEntry(entry)) {
      ok = WriteChunkedEntry(out, i, entry, pipeline, &why);
    } else {
      const std::size_t task = pipeline.FirstTask(i);
      Slot slot = pipeline.Take(task);
      std::vector<unsigned char> header;
      if (!slot.ok) {
        why = slot.out_of_memory ? std::string("out of memory while compressing") : slot.error;
        ok = false;
      } else if (entry.folder) {
        ok = EncodeEntryHeader(entry.name, kFolderSize, kFolderPacked, &header) && out.Write(header);
      } else if (slot.size > static_cast<std::uint64_t>(kEntryLimit) ||
                 slot.stream.size() > static_cast<std::size_t>(kEntryLimit)) {
        why = "larger than the 2 GiB an entry can hold";
        ok = false;
      } else {
        unsigned char stamp[8];
        StoreU64(stamp, entry.filetime);
        ok = EncodeEntryHeader(entry.name, static_cast<std::int32_t>(slot.size),
                               static_cast<std::uint32_t>(slot.stream.size()), &header) &&
             out.Write(header) && out.Write(stamp, sizeof stamp) && out.Write(slot.stream);
      }
      if (!ok && why.empty()) why = out.error();
      slot = Slot();  // the stream's memory goes back before the next file is taken
      pipeline.Release(task, !ok);
    }
    if (ok && !entry.folder && FindCharMb(entry.name, '\\') == std::string::npos &&
        MatchesAnySetupPattern(entry.name) && out.VolumeAt(out.Position() - 1) != 1) {
      why = "a setup file, but it would not end in the first volume, the only one the setup program reads at "
            "start-up: choose a larger --volume-size";
      ok = false;
    }
    if (!ok) *error = entry.display + ": " + why;
    progress.Show(i + 1, static_cast<std::uint64_t>(out.Position()), entry.display);
  }
  return ok;
}

bool CopyStub(const std::string& stub, std::FILE* out, std::int64_t* size, std::string* error) {
  FilePtr in(OpenFile(stub, "rb"));
  if (!in) {
    *error = stub + ": cannot open the stub";
    return false;
  }
  // A signature covers only what lies before it: an archive appended after a signed stub
  // would be outside it while the file still showed as signed.
  PeLayout pe;
  if (ReadPeLayout(in.get(), &pe) && pe.Signed()) {
    *error = stub + ": the stub is signed; sign the finished setup, not the stub";
    return false;
  }
  if (!SeekFile(in.get(), 0, SEEK_SET)) {
    *error = stub + ": cannot read the stub";
    return false;
  }
  std::vector<char> buffer(1 << 20);
  *size = 0;
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get())) {
    if (std::fwrite(buffer.data(), 1, n, out) != n) {
      *error = "write error";
      return false;
    }
    *size += static_cast<std::int64_t>(n);
  }
  // The trailer holds the archive's start in 32 bits.
  if (*size < 2 || *size > kEntryLimit) {
    *error = stub + ": not a usable stub";
    return false;
  }
  return true;
}

// The most bytes the entries can take, whatever deflate makes of them: stored blocks, and
// a margin for a chunked stream that deflate grew a little.
std::int64_t UpperArchiveBytes(const std::vector<PackEntry>& entries) {
  std::uint64_t total = 4;  // the end marker
  for (const PackEntry& entry : entries) {
    total += entry.name.size() + 1 + kEntryFixedBytes;
    if (!entry.folder) total += kTimeBytes + StoredStreamSize(entry.size) + entry.size / 1024 + 64;
  }
  return static_cast<std::int64_t>(std::min<std::uint64_t>(total, INT64_MAX / 2));
}

// The room for the entries in the first volume: what is left of a volume after the stub,
// the table of further volumes (for as many as the entries can need), its padding and the
// trailer.
bool FirstVolumePart(const WriteRequest& request, const std::vector<PackEntry>& entries, std::int64_t stub,
                     std::int64_t* part, std::string* error) {
  const std::int64_t fixed = stub + kMaxVolumePadding + (request.stub.empty() ? 0 : kTrailerBytes);
  const std::int64_t smallest = request.volume_size - fixed - VolumeTableBytes(kLastVolume - 1, 0);
  if (smallest <= 0) {
    *error = "--volume-size " + std::to_string(request.volume_size) + " leaves no room in the first volume";
    return false;
  }
  const std::int64_t rest = std::max<std::int64_t>(0, UpperArchiveBytes(entries) - smallest);
  const std::int64_t further = (rest + request.volume_size - 1) / request.volume_size;
  if (further > kLastVolume - 1) {
    *error = "the game needs more than " + std::to_string(kLastVolume - 1) +
             " further volumes of this size: choose a larger --volume-size";
    return false;
  }
  *part = request.volume_size - fixed - VolumeTableBytes(static_cast<std::size_t>(further), 0);
  return true;
}

}  // namespace

bool WriteSetup(const WriteRequest& request, const std::vector<PackEntry>& ordered, std::FILE* out,
                WriteResult* result, std::string* error) {
  std::int64_t start = 0;
  if (!request.stub.empty() && !CopyStub(request.stub, out, &start, error)) return false;
  std::int64_t first_part = -1;
  if (request.volume_size > 0 && !FirstVolumePart(request, ordered, start, &first_part, error)) return false;
  const unsigned jobs = request.jobs ? request.jobs : std::max(1u, std::thread::hardware_concurrency());
  Progress progress(request.progress, ordered.size());
  std::vector<VolumeRecord> records;
  bool written;
  {
    ArchiveOutput archive = first_part < 0 ? ArchiveOutput(out)
                                           : ArchiveOutput(out, first_part, request.volume_folder, request.volume_size);
    static const unsigned char kEndMarker[4] = {};
    written = WriteEntries(archive, ordered, jobs, progress, error);
    if (written && !(archive.Write(kEndMarker, sizeof kEndMarker) && archive.Finish(&records))) {
      *error = archive.error();
      written = false;
    }
    result->volumes = archive.volume_paths();
  }
  progress.Finish();
  if (!written) return false;
  // Zero bytes after the end marker (or at the start of the volume table) make the file a
  // multiple of 8 bytes long: signing tools align to 8 before appending the certificate
  // table, so the trailer stays exactly the 4 bytes before it. The walk stops at the end
  // marker and never reads them.
  static const unsigned char kZeros[8] = {};
  const std::int64_t table = records.empty() ? 0 : VolumeTableBytes(records.size(), 0);
  const std::int64_t end = TellFile(out) + table + 4;
  const std::uint32_t padding = request.stub.empty() ? 0 : static_cast<std::uint32_t>((8 - end % 8) % 8);
  bool ok;
  if (records.empty()) {
    ok = std::fwrite(kZeros, 1, padding, out) == padding;
  } else {
    const std::vector<unsigned char> bytes = EncodeVolumeTable(records, padding);
    ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  }
  if (!ok || (!request.stub.empty() && !WriteTrailer(out, static_cast<std::uint32_t>(start))) ||
      std::fflush(out) != 0) {
    *error = "write error";
    return false;
  }
  result->size = TellFile(out);
  return true;
}
