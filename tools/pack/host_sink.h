// WalkSink over the host's file system: archive names use '\\', so every path is turned
// into a POSIX one before it reaches the system. Shared by the pack tool's extract
// command, the native tests and the benchmarks.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <vector>
#include <string>

#include "archive/archive_format.h"
#include "archive/archive_walk.h"
#include "common/cp932.h"

inline std::string HostPath(const std::string& path) {
  std::string out(path);
  for (std::size_t i = 0; i < out.size(); i += CharLengthAt(out, i)) {
    if (out[i] == '\\') out[i] = '/';
  }
  return out;
}

class HostSink : public StdioOutputSink {
 public:
  ~HostSink() override {
    for (void* block : spare_) std::free(block);
  }
  // Blocks are kept for the next file: glibc would otherwise hand the 256 KiB back to the
  // system after every file and fault it in again, which costs more than the inflating.
  void* AllocateBlock(std::size_t size) override {
    if (size == kBlockSize && !spare_.empty()) {
      void* block = spare_.back();
      spare_.pop_back();
      return block;
    }
    return std::malloc(size);
  }
  void FreeBlock(void* block) override { spare_.push_back(block); }
  void CreateFolder(const std::string& path) override { ::mkdir(ToHost(path).c_str(), 0777); }
  void SetWriteTime(const std::string& path, std::uint64_t filetime) override {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    const std::int64_t ticks = static_cast<std::int64_t>(filetime - kUnixEpochTicks);
    std::int64_t seconds = ticks / static_cast<std::int64_t>(kTicksPerSecond);
    std::int64_t rest = ticks % static_cast<std::int64_t>(kTicksPerSecond);
    if (rest < 0) {
      rest += kTicksPerSecond;
      --seconds;
    }
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(rest * 100);
    ::utimensat(AT_FDCWD, ToHost(path).c_str(), times, 0);
  }

 protected:
  // Names stay CP932 bytes by default; a subclass may convert them.
  virtual std::string ToHost(const std::string& path) { return HostPath(path); }
  std::string SystemPath(const std::string& path) override { return ToHost(path); }

 private:
  std::vector<void*> spare_;  // every block handed out is kBlockSize bytes
};
