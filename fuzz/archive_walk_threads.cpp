// Any byte string as an archive: the full pass on its threads must do exactly what it does
// on one, call for call. Slower than archive_walk.cpp: it starts the threads for every input.
#include <cstddef>
#include <cstdint>

#include "walk_fuzz_sink.h"

using namespace walk_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  MemorySink one, two;
  const WalkOutcome single = Walk(data, size, WalkPass::kFull, WalkThreads::kSingle, &one);
  const WalkOutcome overlapped = Walk(data, size, WalkPass::kFull, WalkThreads::kOverlapped, &two);
  if (single.error != overlapped.error || single.entry_name != overlapped.entry_name ||
      single.entry_offset != overlapped.entry_offset || one.trace() != two.trace()) {
    __builtin_trap();
  }
  return 0;
}
