// Any byte string as a side-car archive: both passes and the header scan must end with a
// verdict, never touch memory they do not own, and never name an output outside the target.
// The steps of one entry run here on one thread, fast; archive_walk_threads.cpp compares
// the threaded schedule against this one.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "walk_fuzz_sink.h"

using namespace walk_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  MemorySink full, setup;
  Walk(data, size, WalkPass::kFull, WalkThreads::kSingle, &full);
  Walk(data, size, WalkPass::kSetup, WalkThreads::kSingle, &setup);
  std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (!in) return 0;
  std::uint64_t total = 0;
  SumUncompressedSizes(in, &total);
  std::fclose(in);
  return 0;
}
