// Any byte string as a setup's first volume: the locator reads its trailer and volume table,
// and the walk then crosses into further volumes carved from the same bytes. Whatever the
// table claims (counts, sizes, padding), the walk must end with a verdict inside memory it
// owns and never name an output outside the target.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "archive/archive_reader.h"
#include "archive/archive_stream.h"
#include "walk_fuzz_sink.h"

using namespace walk_fuzz;

namespace {

class Bytes : public ArchiveFile {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t Read(void* out, std::size_t size) override {
    const std::size_t n = at_ >= size_ ? 0 : std::min(size, size_ - at_);
    if (n) std::memcpy(out, data_ + at_, n);
    at_ += n;
    return n;
  }
  bool Seek(std::int64_t offset) override {
    if (offset < 0) return false;
    at_ = static_cast<std::size_t>(std::min<std::int64_t>(offset, static_cast<std::int64_t>(SIZE_MAX / 2)));
    return true;
  }
  std::int64_t Tell() override { return static_cast<std::int64_t>(at_); }
  std::int64_t Size() override { return static_cast<std::int64_t>(size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Every digest comes out as zeros: a record of zeros matches, any other does not.
class ZeroDigest : public Sha256 {
 public:
  void Update(const void*, std::size_t) override {}
  bool Final(unsigned char digest[kDigestBytes]) override {
    std::memset(digest, 0, kDigestBytes);
    return true;
  }
};

// Volume n is the input from byte n*7 on: sizes that match a record now and then.
class CarvedVolumes : public VolumeOpener {
 public:
  CarvedVolumes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::unique_ptr<ArchiveFile> OpenVolume(const std::string& name) override {
    const std::size_t n = static_cast<std::size_t>(name.back() - '0') * 7 % (size_ + 1);
    return std::make_unique<Bytes>(data_ + n, size_ - n);
  }
  std::unique_ptr<Sha256> NewDigest() override { return std::make_unique<ZeroDigest>(); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (bool sidecar : {true, false}) {
    LocatedArchive found;
    if (LocateInFile(std::make_unique<Bytes>(data, size), sidecar, &found) != LocateStatus::kFound) continue;
    if (found.start < 0 || found.length < 0 || found.start + found.length > static_cast<std::int64_t>(size)) {
      __builtin_trap();
    }
    CarvedVolumes volumes(data, size);
    for (VolumeUse use : {VolumeUse::kChecked, VolumeUse::kFirstOnly}) {
      MemorySink sink;
      ArchiveStream stream(found, &volumes, use);
      WalkEntries(stream, kTarget, use == VolumeUse::kFirstOnly ? WalkPass::kSetup : WalkPass::kFull, sink,
                  WalkThreads::kSingle);
    }
  }
  return 0;
}
