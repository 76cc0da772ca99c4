// The sink both walk targets run under: every call recorded with a checksum of the data,
// every path checked to lie below the target by the rules Windows uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "archive/archive_walk.h"
#include "common/cp932.h"

namespace walk_fuzz {

const std::string kTarget = "C:\\target";

// Everything the walk asks for must lie below the target, by the same rules Windows uses.
inline void CheckBelowTarget(const std::string& path) {
  if (path.compare(0, kTarget.size() + 1, kTarget + "\\") != 0) __builtin_trap();
  const std::string name = path.substr(kTarget.size() + 1);
  if (name.size() + kTarget.size() + 1 > kPathMaxText) __builtin_trap();
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); i += i < name.size() ? CharLengthAt(name, i) : 1) {
    if (i < name.size() && (name[i] == '/' || name[i] == ':')) __builtin_trap();
    if (i == name.size() || name[i] == '\\') {
      const std::string component = name.substr(start, i - start);
      if (component == "." || component == "..") __builtin_trap();
      if (component.empty() && !(i == name.size() && start > 0)) __builtin_trap();
      start = i + 1;
    }
  }
}

// Records every call, with a checksum of the data, so two walks can be compared.
class MemorySink : public WalkSink {
 public:
  void CreateFolder(const std::string& path) override {
    CheckBelowTarget(path);
    trace_ += "F" + path + '\n';
  }
  bool OpenOutput(const std::string& path) override {
    CheckBelowTarget(path);
    open_ = true;
    trace_ += "O" + path + '\n';
    return true;
  }
  bool WriteOutput(const unsigned char* data, std::size_t size) override {
    if (!open_) __builtin_trap();
    total_ += size;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) sum = sum * 31 + data[i];
    trace_ += "W" + std::to_string(size) + ":" + std::to_string(sum) + '\n';
    return total_ < (64u << 20);  // a small stream may inflate to any size: stop early
  }
  bool CloseOutput() override {
    if (!open_) __builtin_trap();
    open_ = false;
    trace_ += "C\n";
    return true;
  }
  void SetWriteTime(const std::string& path, std::uint64_t filetime) override {
    if (open_) __builtin_trap();
    CheckBelowTarget(path);
    trace_ += "T" + path + std::to_string(filetime) + '\n';
  }
  void BeginFile(const std::string& path, int range) override { trace_ += "B" + path + std::to_string(range) + '\n'; }
  void UpdateProgress(int file, int overall) override {
    trace_ += "P" + std::to_string(file) + "," + std::to_string(overall) + '\n';
  }
  const std::string& trace() const { return trace_; }

 private:
  bool open_ = false;
  std::size_t total_ = 0;
  std::string trace_;
};

inline WalkOutcome Walk(const std::uint8_t* data, std::size_t size, WalkPass pass, WalkThreads threads, MemorySink* sink) {
  WalkOutcome outcome;
  outcome.error = WalkError::kShortRead;
  std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (!in) return outcome;
  outcome = WalkEntries(in, kTarget, pass, *sink, threads);
  std::fclose(in);
  return outcome;
}

}  // namespace walk_fuzz
