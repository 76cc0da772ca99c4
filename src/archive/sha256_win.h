// SHA-256 from the system, for the volume records.
#pragma once

#include <memory>

#include "archive/archive_file.h"

// Null when the system has no provider for it.
std::unique_ptr<Sha256> NewSystemSha256();
