// The full pass on two threads; see archive_walk.h for what a walk does.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <string>

#include "archive/archive_walk.h"

// An inflate stream, ended on every way out once opened.
struct InflateStream {
  z_stream stream{};
  bool open = false;
  ~InflateStream() {
    if (open) inflateEnd(&stream);
  }
};

// Walks every entry with reading and inflating on worker threads; the sink is called from
// this thread only, in the order and with the outcome of the single-thread walk. False, with
// nothing read, when the sink cannot give the few blocks it needs or no thread can be started.
bool WalkEntriesOverlapped(std::FILE* archive, const std::string& target, WalkSink& sink, WalkOutcome* outcome);
