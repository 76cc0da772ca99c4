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
#include "common/byte_order.h"
#include "file_compress.h"
#include "pe_signature.h"
#include "platform.h"

namespace {

// Source bytes of the in-memory files compressed ahead of the writer, at most (the 32-bit
// Windows tool has little address space to spare). Files up to kWholeFileLimit are held
// (file_compress.h); larger ones are compressed by the writer straight into the output.
constexpr std::uint64_t kInFlightLimit = 48u << 20;

bool StreamedEntry(const PackEntry& entry) {
  return !entry.folder && !entry.source_path.empty() && entry.size > kWholeFileLimit;
}

std::uint64_t InFlightCost(const PackEntry& entry) {
  return entry.folder || StreamedEntry(entry) ? 0 : entry.size;
}

// One compressed file waiting to be written, filled by a worker.
struct Slot {
  bool done = false;
  bool ok = false;
  std::uint64_t size = 0;
  std::vector<unsigned char> stream;
  std::string error;
  bool out_of_memory = false;  // no text is made where memory ran out
};

// Compresses a file too large to hold as one zlib stream at the default level and hands the
// stream on in pieces. libdeflate cannot do this (it has no streaming interface), so both
// builds stream with zlib; the bytes depend only on the input (read in pieces of 1 MiB,
// finished at the first short read).
template <typename Output>
bool DeflateFile(std::FILE* in, Output&& output, std::uint64_t* input_size, std::string* error) {
  z_stream zs{};
  if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) {
    *error = "compression failed";
    return false;
  }
  struct End {
    z_stream* zs;
    ~End() { deflateEnd(zs); }
  } end{&zs};
  std::vector<unsigned char> piece(1u << 20);
  std::vector<unsigned char> packed(1u << 18);
  *input_size = 0;
  for (;;) {
    const std::size_t n = std::fread(piece.data(), 1, piece.size(), in);
    if (n < piece.size() && std::ferror(in)) {
      *error = "read error";
      return false;
    }
    *input_size += n;
    const bool finish = n < piece.size();
    zs.next_in = piece.data();
    zs.avail_in = static_cast<uInt>(n);
    int result = Z_OK;
    do {
      zs.next_out = packed.data();
      zs.avail_out = static_cast<uInt>(packed.size());
      result = deflate(&zs, finish ? Z_FINISH : Z_NO_FLUSH);
      if (result == Z_STREAM_ERROR) {
        *error = "compression failed";
        return false;
      }
      if (!output(packed.data(), packed.size() - zs.avail_out)) return false;
    } while (zs.avail_out == 0 || (finish && result != Z_STREAM_END));
    if (finish) return true;
  }
}

bool CompressEntry(const PackEntry& entry, Slot* slot) {
  if (entry.source_path.empty()) {
    slot->size = entry.data.size();
    if (!CompressWholeBuffer(entry.data.data(), entry.data.size(), &slot->stream)) {
      slot->error = "compression failed";
      return false;
    }
    return true;
  }
  FilePtr in(OpenFile(entry.source_path, "rb"));
  if (!in) {
    slot->error = "cannot open " + entry.source_path;
    return false;
  }
  if (!CompressWholeFile(in.get(), entry.size, &slot->stream, &slot->size, &slot->error)) {
    slot->error = "cannot read " + entry.source_path + " (" + slot->error + ")";
    return false;
  }
  return true;
}

// Writes a large file's entry while compressing it: the header goes out with zero sizes
// and is completed once the stream's length is known.
bool WriteStreamedEntry(std::FILE* out, const PackEntry& entry, std::int64_t* offset, std::string* error) {
  FilePtr in(OpenFile(entry.source_path, "rb"));
  if (!in) {
    *error = "cannot open " + entry.source_path;
    return false;
  }
  const std::int64_t header_at = TellFile(out);
  if (header_at < 0 || !WriteFileEntry(out, entry.name, 0, entry.filetime, {})) {
    *error = "write error";
    return false;
  }
  const std::int64_t header_bytes = static_cast<std::int64_t>(entry.name.size()) + 1 + kEntryFixedBytes + kTimeBytes;
  std::int64_t packed = 0;
  bool too_large = false;
  auto write = [&](const unsigned char* data, std::size_t size) {
    packed += static_cast<std::int64_t>(size);
    if (*offset + header_bytes + packed + 8 > kArchiveLimit) {
      too_large = true;
      return false;
    }
    return size == 0 || std::fwrite(data, 1, size, out) == size;
  };
  std::uint64_t input_size = 0;
  std::string why;
  if (!DeflateFile(in.get(), write, &input_size, &why)) {
    *error = too_large ? "the archive would reach 2 GiB" : why.empty() ? "write error" : "cannot read " + entry.source_path;
    return false;
  }
  if (input_size > static_cast<std::uint64_t>(kArchiveLimit)) {
    *error = "larger than 2 GiB";
    return false;
  }
  unsigned char sizes[8];
  StoreU32(sizes, static_cast<std::uint32_t>(input_size));
  StoreU32(sizes + 4, static_cast<std::uint32_t>(packed));
  const std::int64_t sizes_at = header_at + 2 + static_cast<std::int64_t>(entry.name.size()) + 1;
  if (!SeekFile(out, sizes_at, SEEK_SET) || std::fwrite(sizes, 1, 8, out) != 8 || !SeekFile(out, 0, SEEK_END)) {
    *error = "write error";
    return false;
  }
  *offset += header_bytes + packed;
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

// Writes the entries in order while workers compress ahead of the writer. Each file is
// its own zlib stream, so the bytes do not depend on how many workers ran. What is in
// flight stays bounded: a few files ahead of the writer, and only small ones in memory.
// Running out of memory in a worker fails its entry with a message, as any error does.
bool WriteEntries(std::FILE* out, const std::vector<PackEntry>& entries, std::int64_t start, unsigned jobs,
                  Progress& progress, std::string* error) {
  std::vector<Slot> slots(entries.size());
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t written = 0;        // entries handed to the file so far
  std::uint64_t in_flight = 0;    // source bytes of in-memory files taken but not yet written
  std::atomic<std::size_t> next{0};
  bool stop = false;
  const std::size_t window = std::max<std::size_t>(2 * jobs, 4);

  auto worker = [&] {
    for (;;) {
      const std::size_t i = next.fetch_add(1);
      if (i >= entries.size()) return;
      const std::uint64_t cost = InFlightCost(entries[i]);
      {
        // The entry the writer waits for always goes ahead, so the budget cannot stall it.
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] {
          return stop || i == written || (i < written + window && in_flight + cost <= kInFlightLimit);
        });
        if (stop) return;
        in_flight += cost;
      }
      Slot slot;
      try {
        if (entries[i].folder || StreamedEntry(entries[i])) slot.ok = true;
        else slot.ok = CompressEntry(entries[i], &slot);
      } catch (const std::bad_alloc&) {
        slot = Slot();
        slot.out_of_memory = true;
      }
      std::lock_guard<std::mutex> lock(mutex);
      slot.done = true;
      slots[i] = std::move(slot);
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  // However the writer leaves (an error, or an allocation failure of its own), the workers
  // are stopped and joined first.
  struct Joiner {
    std::vector<std::thread>& threads;
    std::mutex& mutex;
    std::condition_variable& changed;
    bool& stop;
    ~Joiner() {
      {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
      }
      changed.notify_all();
      for (std::thread& t : threads) t.join();
    }
  } joiner{threads, mutex, changed, stop};
  for (unsigned t = 0; t < jobs; ++t) threads.emplace_back(worker);

  bool ok = true;
  std::int64_t offset = start;
  for (std::size_t i = 0; i < entries.size() && ok; ++i) {
    Slot slot;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return slots[i].done; });
      slot = std::move(slots[i]);
    }
    const PackEntry& entry = entries[i];
    if (!slot.ok) {
      *error = entry.display + ": " + (slot.out_of_memory ? std::string("out of memory while compressing") : slot.error);
      ok = false;
    } else if (entry.folder) {
      ok = WriteFolderEntry(out, entry.name);
      offset += entry.name.size() + 1 + kEntryFixedBytes;
    } else if (StreamedEntry(entry)) {
      std::string why;
      ok = WriteStreamedEntry(out, entry, &offset, &why);
      if (!ok) *error = entry.display + ": " + why;
    } else if (slot.size > static_cast<std::uint64_t>(kArchiveLimit)) {
      *error = entry.display + ": larger than 2 GiB";
      ok = false;
    } else {
      ok = WriteFileEntry(out, entry.name, static_cast<std::int32_t>(slot.size), entry.filetime, slot.stream);
      offset += entry.name.size() + 1 + kEntryFixedBytes + kTimeBytes + slot.stream.size();
      if (!ok) *error = "write error";
    }
    if (ok && offset + 8 > kArchiveLimit) {
      *error = "the archive would reach 2 GiB";
      ok = false;
    }
    slot = Slot();  // the stream's memory goes back before the next file is taken
    progress.Show(i + 1, static_cast<std::uint64_t>(offset - start), entry.display);
    std::lock_guard<std::mutex> lock(mutex);
    written = i + 1;
    in_flight -= InFlightCost(entry);
    if (!ok) stop = true;
    changed.notify_all();
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
  if (*size < 2 || *size > kArchiveLimit) {
    *error = stub + ": not a usable stub";
    return false;
  }
  return true;
}

}  // namespace

bool WriteSetup(const WriteRequest& request, const std::vector<PackEntry>& ordered, std::FILE* out,
                std::int64_t* size, std::string* error) {
  std::int64_t start = 0;
  if (!request.stub.empty() && !CopyStub(request.stub, out, &start, error)) return false;
  const unsigned jobs = request.jobs ? request.jobs : std::max(1u, std::thread::hardware_concurrency());
  Progress progress(request.progress, ordered.size());
  const bool written = WriteEntries(out, ordered, start, jobs, progress, error);
  progress.Finish();
  if (!written) return false;
  // Zero bytes after the end marker make the file a multiple of 8 bytes long: signing tools
  // align to 8 before appending the certificate table, so the trailer stays exactly the 4
  // bytes before it. The walk stops at the end marker and never reads them.
  static const unsigned char kZeros[8] = {};
  const std::int64_t end = TellFile(out) + 4 + 4;
  const std::size_t padding = request.stub.empty() ? 0 : static_cast<std::size_t>((8 - end % 8) % 8);
  if (!WriteEndMarker(out) || std::fwrite(kZeros, 1, padding, out) != padding ||
      (!request.stub.empty() && !WriteTrailer(out, static_cast<std::uint32_t>(start))) ||
      std::fflush(out) != 0) {
    *error = "write error";
    return false;
  }
  *size = TellFile(out);
  return true;
}

