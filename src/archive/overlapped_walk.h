// The full pass on two threads; see archive_walk.h for what a walk does.
#pragma once

#include <cstdio>
#include <string>

#include "archive/archive_walk.h"

// Walks every entry with inflating on a worker thread; the sink is called from this thread
// only, in the order and with the outcome of the single-thread walk. False, with nothing
// read, when the sink cannot give the few blocks it needs.
bool WalkEntriesOverlapped(std::FILE* archive, const std::string& target, WalkSink& sink, WalkOutcome* outcome);
