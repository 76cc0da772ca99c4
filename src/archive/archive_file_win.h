// Archive files through the kernel: opened by their UTF-16 path, read and sought through one
// handle with 64-bit offsets.
#pragma once

#include <memory>
#include <string>

#include "archive/archive_file.h"

// Read-only, shared only with readers, so no one changes it while it is walked. Null when it
// does not open (or names a folder).
std::unique_ptr<ArchiveFile> OpenArchiveFileW(const std::wstring& path);
