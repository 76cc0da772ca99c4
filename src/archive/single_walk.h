// Every step of every entry on the calling thread: the setup pass, and the full pass
// wherever the threads cannot be had.
#pragma once

#include <cstdio>
#include <string>

#include "archive/walk_sink.h"

class ArchiveStream;

WalkOutcome WalkEntriesSingle(ArchiveStream& archive, const std::string& target, WalkPass pass, WalkSink& sink);
