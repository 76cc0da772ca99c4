// The compress and write steps of `build` (see cmd_build.cpp for the steps before them).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pack_common.h"

struct WriteRequest {
  std::string stub;   // empty for a side-car: no stub and no trailer
  unsigned jobs = 0;  // compression threads; 0 for one per core
  bool progress = false;
  std::int64_t volume_size = 0;  // 0: one file; else the most bytes of each volume
  std::string volume_folder;     // where instdat.002, ... go (with its separator, or empty)
};

struct WriteResult {
  std::int64_t size = 0;             // of the output file
  std::vector<std::string> volumes;  // the further volumes written (also after a failure)
};

// Writes stub, entries (in the given order), end marker, the table of further volumes (when
// the entries take more than the first) and trailer into `out`, and further volumes beside
// it. Every file is its own zlib stream, so the bytes do not depend on `jobs`.
// Throws std::bad_alloc only where the writer itself runs out of memory.
bool WriteSetup(const WriteRequest& request, const std::vector<PackEntry>& ordered, std::FILE* out,
                WriteResult* result, std::string* error);
