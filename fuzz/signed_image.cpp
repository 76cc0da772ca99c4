// Any bytes as the setup program's own file: the PE reading behind the locator stays inside
// the file, and the trailer it names lies within it, at or after the image's end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "archive/signed_image.h"

namespace {

class BytesSource : public ByteSource {
 public:
  BytesSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool ReadAt(std::int64_t offset, void* out, std::size_t size) override {
    if (offset < 0 || static_cast<std::uint64_t>(offset) > size_ || size > size_ - static_cast<std::size_t>(offset)) {
      return false;
    }
    std::memcpy(out, data_ + offset, size);
    return true;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  BytesSource source(data, size);
  const std::int64_t file_size = static_cast<std::int64_t>(size);
  ImageLayout layout;
  const bool image = ReadImageLayout(source, file_size, &layout);
  const std::int64_t trailer = FindTrailerOffset(source, file_size);
  if (trailer < 0 || trailer > file_size - 4) std::abort();
  if (trailer != file_size - 4 && (!image || trailer < layout.image_end)) std::abort();
  return 0;
}
