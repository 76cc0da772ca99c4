// Any bytes, as a title file or as a bare compressed stream: no read outside the input and
// no write outside the picture.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/title_codec.h"

namespace {

// Keeps each run's picture small; sizes up to the real limit are refused by the tests.
constexpr std::int64_t kFuzzPixels = 1 << 20;

void DecodeFile(const std::uint8_t* data, std::size_t size) {
  TitleFile file;
  if (ParseTitleFile(data, size, &file) != TitleRead::kOk) return;
  if (std::int64_t{file.width} * file.height > kFuzzPixels) return;
  const std::size_t stride = (3 * static_cast<std::size_t>(file.width) + 3) / 4 * 4;
  std::vector<unsigned char> pixels(stride * static_cast<std::size_t>(file.height));
  DecodeTitleFile(&file, pixels.data(), stride);
}

// The first two bytes choose a small picture; the rest is the stream, decoded into a block
// of exactly 3 x width x height bytes so that any overrun hits the sanitizer.
void DecodeStream(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  const int width = 1 + data[0] % 64, height = 1 + data[1] % 64;
  const std::vector<unsigned char> stream(data + 2, data + size);
  std::vector<unsigned char> pixels(3 * static_cast<std::size_t>(width) * height);
  DecodeTitlePixels(stream.data(), stream.size(), width, height, pixels.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TitleVariant variant;
  if (size >= 8 && MatchTitleHeader(data, &variant)) {
    DecodeFile(data, size);
  } else {
    DecodeStream(data, size);
  }
  return 0;
}
