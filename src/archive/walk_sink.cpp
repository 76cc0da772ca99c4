#include "archive/walk_sink.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "archive/archive_format.h"

void* WalkSink::AllocateBlock(std::size_t size) { return std::malloc(size); }
void WalkSink::FreeBlock(void* block) { std::free(block); }

bool WalkSink::FinishOutput(const std::string& path, std::uint64_t filetime) {
  if (!CloseOutput()) return false;
  SetWriteTime(path, filetime);
  return true;
}

StdioOutputSink::~StdioOutputSink() {
  if (out_) std::fclose(out_);
}

bool StdioOutputSink::OpenOutput(const std::string& path) {
  out_ = OpenStream(SystemPath(path));
  return out_ != nullptr;
}

bool StdioOutputSink::WriteOutput(const unsigned char* data, std::size_t size) {
  return std::fwrite(data, 1, size, out_) == size;
}

bool StdioOutputSink::CloseOutput() {
  const int result = std::fclose(out_);
  out_ = nullptr;
  return result == 0;
}

const char* WalkErrorText(WalkError error) {
  switch (error) {
    case WalkError::kNone: return "no error";
    case WalkError::kShortRead: return "the archive ends inside an entry";
    case WalkError::kBadName: return "unsafe or malformed entry name";
    case WalkError::kPathTooLong: return "output path longer than 259 bytes";
    case WalkError::kPastEnd: return "entry data runs past the archive";
    case WalkError::kNoMemory: return "out of memory";
    case WalkError::kCreateFailed: return "output file cannot be created";
    case WalkError::kInflateInit: return "zlib initialisation failed";
    case WalkError::kCorruptStream: return "damaged zlib stream";
    case WalkError::kTruncatedStream: return "zlib stream cut short";
    case WalkError::kLengthMismatch: return "zlib stream shorter than its stored length";
    case WalkError::kWriteFailed: return "write failed";
    case WalkError::kVolumeBad: return "a volume is missing or damaged";
  }
  return "unknown error";
}

int BlocksOf(std::int64_t bytes) {
  if (bytes <= 0) return 0;
  return static_cast<int>(std::min<std::int64_t>(bytes / kBlockSize, INT_MAX));
}

int OverallRange(std::int64_t archive_length) { return std::max(1, BlocksOf(archive_length)); }
