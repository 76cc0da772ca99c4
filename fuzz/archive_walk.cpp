// Any byte string as a side-car archive: both passes and the header scan must end with a
// verdict, never touch memory they do not own, and never name an output outside the target.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "archive/archive_reader.h"
#include "archive/archive_walk.h"
#include "common/cp932.h"

namespace {

const std::string kTarget = "C:\\target";

// Everything the walk asks for must lie below the target, by the same rules Windows uses.
void CheckBelowTarget(const std::string& path) {
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

class MemorySink : public WalkSink {
 public:
  void CreateFolder(const std::string& path) override { CheckBelowTarget(path); }
  bool OpenOutput(const std::string& path) override {
    CheckBelowTarget(path);
    open_ = true;
    return true;
  }
  bool WriteOutput(const unsigned char*, std::size_t size) override {
    if (!open_) __builtin_trap();
    total_ += size;
    return total_ < (64u << 20);  // a small stream may inflate to any size: stop early
  }
  bool CloseOutput() override {
    if (!open_) __builtin_trap();
    open_ = false;
    return true;
  }
  void SetWriteTime(const std::string& path, std::uint64_t) override {
    if (open_) __builtin_trap();
    CheckBelowTarget(path);
  }

 private:
  bool open_ = false;
  std::size_t total_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  for (WalkPass pass : {WalkPass::kFull, WalkPass::kSetup}) {
    std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!in) return 0;
    MemorySink sink;
    WalkEntries(in, kTarget, pass, sink);
    std::fclose(in);
  }
  std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (!in) return 0;
  std::uint64_t total = 0;
  SumUncompressedSizes(in, &total);
  std::fclose(in);
  return 0;
}
