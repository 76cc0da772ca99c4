// The full pass with reading and inflating on worker threads; see entry_steps.h for what a
// walk does with each entry.
#pragma once

#include <cstdio>
#include <string>

#include "archive/walk_sink.h"

class ArchiveStream;

// Walks every entry with reading and inflating on worker threads; the sink is called from
// this thread only, in the order and with the outcome of the single-thread walk. False, with
// nothing read, when the sink cannot give the few blocks it needs or no thread can be started.
bool WalkEntriesOverlapped(ArchiveStream& archive, const std::string& target, WalkSink& sink, WalkOutcome* outcome);
