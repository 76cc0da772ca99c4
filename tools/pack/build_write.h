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
};

// Writes stub, entries (in the given order), end marker and trailer into `out`; *size is
// the file's size. Every file is its own zlib stream, so the bytes do not depend on `jobs`.
// Throws std::bad_alloc only where the writer itself runs out of memory.
bool WriteSetup(const WriteRequest& request, const std::vector<PackEntry>& ordered, std::FILE* out,
                std::int64_t* size, std::string* error);
