// Resource file opener for the program: the search order of resource_opener.h behind the
// opener's one lock, and the retry box while a setup file cannot be found.
#pragma once

#include <cstdio>

#include "settings/resource_opener.h"

// Never returns without a stream: while nothing opens, the retry/abort box offers another
// try, and its Cancel ends the process with -1. The caller owns the stream.
std::FILE* OpenSetupFile(const char* path, const char* mode);

// 1 when the search order finds the file, else 0.
int SetupFileExists(const char* path);
