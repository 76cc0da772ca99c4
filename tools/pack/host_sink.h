// WalkSink over the host's file system: archive names use '\\', so every path is turned
// into one with '/' before it reaches the system (through platform.h, which the pack tool's
// library `pvpack_host` provides). Shared by the pack tool's extract command, the native
// tests and the benchmarks.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>
#include <string>

#include "archive/archive_format.h"
#include "archive/archive_walk.h"
#include "common/cp932.h"
#include "platform.h"

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
  void CreateFolder(const std::string& path) override {
    std::error_code ignored;  // a folder that could not be made shows when a file goes into it
    std::filesystem::create_directory(PathFromUtf8(ToHost(path)), ignored);
  }
  void SetWriteTime(const std::string& path, std::uint64_t filetime) override {
    SetFileWriteTime(ToHost(path), filetime);
  }

 protected:
  // Names stay CP932 bytes by default; a subclass may convert them.
  virtual std::string ToHost(const std::string& path) { return HostPath(path); }
  std::string SystemPath(const std::string& path) override { return ToHost(path); }
  std::FILE* OpenStream(const std::string& system_path) override { return OpenFile(system_path, "wb"); }

 private:
  std::vector<void*> spare_;  // every block handed out is kBlockSize bytes
};
