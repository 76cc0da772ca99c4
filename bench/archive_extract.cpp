// Extraction speed of the archive walk against the ceiling of a bare inflate + fwrite loop
// over the same streams, and the setup pass at two archive sizes.
//   PV_BENCH_ARCHIVE        side-car archive to extract (the large payload)
//   PV_BENCH_ARCHIVE_SMALL  a smaller archive of the same kind (setup pass comparison)
//   PV_BENCH_OUT            scratch folder; emptied before every iteration
// bench/archive_compare.sh makes the payloads and runs this next to zip, unzip and tar.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tools/pack/host_sink.h"
#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_stream.h"
#include "archive/archive_walk.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void FreshFolder(const std::string& folder) {
  std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "'").c_str());
}

void WalkFullPass(benchmark::State& state, WalkThreads threads) {
  const std::string archive = Env("PV_BENCH_ARCHIVE"), out = Env("PV_BENCH_OUT") + "/walk";
  std::int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    FreshFolder(out);
    state.ResumeTiming();
    LocatedArchive found;
    if (OpenArchiveFile(archive.c_str(), true, &found) != LocateStatus::kFound) {
      state.SkipWithError("no archive");
      return;
    }
    HostSink sink;
    ArchiveStream stream(found);
    if (!WalkEntries(stream, out, WalkPass::kFull, sink, threads).Ok()) {
      state.SkipWithError("walk failed");
      return;
    }
    bytes += found.length;
  }
  state.SetBytesProcessed(bytes);
}

enum class BareWork { kBoth, kInflateOnly, kWriteOnly };

// The least any extractor of this format must do: read each header, create the folder or
// file, inflate the stream and write it out. No name checks, time stamps or progress.
// The two halves alone bound what overlapping them can reach: inflating without files, and
// making the folders and files with their sizes without inflating.
bool BareExtract(const std::string& archive, const std::string& out, BareWork work = BareWork::kBoth) {
  std::FILE* in = std::fopen(archive.c_str(), "rb");
  if (!in) return false;
  std::vector<unsigned char> input(kBlockSize), output(kBlockSize);
  std::string name;
  bool ok = true;
  for (;;) {
    unsigned char head[2];
    if (std::fread(head, 1, 2, in) != 2) { ok = false; break; }
    const unsigned n = head[0] | head[1] << 8;
    if (n == 0) break;
    name.resize(n);
    std::uint32_t sizes[2];
    if (std::fread(&name[0], 1, n, in) != n || std::fread(sizes, 4, 2, in) != 2) { ok = false; break; }
    name.pop_back();
    std::string path = out + "/" + name;
    for (std::size_t i = out.size(); i < path.size(); i += CharLengthAt(path, i)) {
      if (path[i] == '\\') path[i] = '/';
    }
    if (static_cast<std::int32_t>(sizes[0]) == -1) {
      if (work != BareWork::kInflateOnly) ::mkdir(path.c_str(), 0777);
      continue;
    }
    if (work == BareWork::kWriteOnly) {
      std::fseek(in, 8 + static_cast<long>(sizes[1]), SEEK_CUR);
      std::FILE* file = std::fopen(path.c_str(), "wb");
      if (!file) { ok = false; break; }
      for (std::uint32_t left = sizes[0]; left > 0;) {
        const std::uint32_t n = left < kBlockSize ? left : kBlockSize;
        std::fwrite(output.data(), 1, n, file);
        left -= n;
      }
      std::fclose(file);
      continue;
    }
    std::fseek(in, 8, SEEK_CUR);
    std::FILE* file = work == BareWork::kInflateOnly ? nullptr : std::fopen(path.c_str(), "wb");
    z_stream zs{};
    inflateInit(&zs);
    std::uint32_t remaining = sizes[1];
    int result = Z_OK;
    do {
      if (zs.avail_in == 0 && remaining > 0) {
        const std::uint32_t take = remaining < kBlockSize ? remaining : kBlockSize;
        zs.avail_in = static_cast<uInt>(std::fread(input.data(), 1, take, in));
        zs.next_in = input.data();
        remaining -= take;
      }
      zs.next_out = output.data();
      zs.avail_out = kBlockSize;
      result = inflate(&zs, Z_NO_FLUSH);
      if (file) std::fwrite(output.data(), 1, kBlockSize - zs.avail_out, file);
    } while (result == Z_OK);
    inflateEnd(&zs);
    if (file) std::fclose(file);
    if (result != Z_STREAM_END) { ok = false; break; }
  }
  std::fclose(in);
  return ok;
}

void InflateCeiling(benchmark::State& state, BareWork work) {
  const std::string archive = Env("PV_BENCH_ARCHIVE"), out = Env("PV_BENCH_OUT") + "/bare";
  for (auto _ : state) {
    state.PauseTiming();
    FreshFolder(out);
    state.ResumeTiming();
    if (!BareExtract(archive, out, work)) {
      state.SkipWithError("bare extraction failed");
      return;
    }
  }
}

void SetupPass(benchmark::State& state, const char* variable) {
  const std::string archive = Env(variable), out = Env("PV_BENCH_OUT") + "/setup";
  FreshFolder(out);
  for (auto _ : state) {
    LocatedArchive found;
    if (OpenArchiveFile(archive.c_str(), true, &found) != LocateStatus::kFound) {
      state.SkipWithError("no archive");
      return;
    }
    HostSink sink;
    ArchiveStream stream(found);
    if (!WalkEntries(stream, out, WalkPass::kSetup, sink).Ok()) {
      state.SkipWithError("setup pass failed");
      return;
    }
  }
}

}  // namespace

BENCHMARK_CAPTURE(WalkFullPass, overlapped, WalkThreads::kOverlapped)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK_CAPTURE(WalkFullPass, single, WalkThreads::kSingle)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK_CAPTURE(InflateCeiling, bare, BareWork::kBoth)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK_CAPTURE(InflateCeiling, inflate_only, BareWork::kInflateOnly)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK_CAPTURE(InflateCeiling, write_only, BareWork::kWriteOnly)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK_CAPTURE(SetupPass, large, "PV_BENCH_ARCHIVE")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(SetupPass, small, "PV_BENCH_ARCHIVE_SMALL")->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
