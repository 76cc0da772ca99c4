#include "image/title_codec.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/byte_order.h"

namespace {

constexpr unsigned char kMagic[4] = {0x98, 0x5A, 0x92, 0x9A};
constexpr const char* kVariantWords[4] = {"TC00", "TS00", "TC01", "TS01"};

// Nothing in the program writes the key, but the scrambled variants are defined over it.
constexpr std::size_t kKeySize = 1024;
alignas(4) unsigned char g_key[kKeySize] = {};

class FileSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  std::size_t Read(unsigned char* to, std::size_t count) {
    return std::fread(to, 1, count, file_);
  }
  void Skip(std::size_t count) { std::fseek(file_, static_cast<long>(count), SEEK_CUR); }

 private:
  std::FILE* file_;
};

class MemorySource {
 public:
  MemorySource(const unsigned char* bytes, std::size_t size) : at_(bytes), left_(size) {}
  std::size_t Read(unsigned char* to, std::size_t count) {
    count = std::min(count, left_);
    if (count) std::memcpy(to, at_, count);
    at_ += count;
    left_ -= count;
    return count;
  }
  void Skip(std::size_t count) {
    count = std::min(count, left_);
    at_ += count;
    left_ -= count;
  }

 private:
  const unsigned char* at_;
  std::size_t left_;
};

template <typename Source>
TitleRead ReadTitle(Source& source, TitleFile* out) {
  unsigned char header[kTitleHeaderSize];
  if (source.Read(header, sizeof header) != sizeof header) return TitleRead::kShortHeader;
  if (!MatchTitleHeader(header, &out->variant)) return TitleRead::kUnknown;
  out->width = static_cast<std::int32_t>(LoadU32(header + 8));
  out->height = static_cast<std::int32_t>(LoadU32(header + 12));
  const std::uint32_t data_size = LoadU32(header + 16);
  if (TitleVariantNamed(out->variant)) {
    // An unreadable length stays 0; a file cut short here fails at the data block.
    unsigned char length[2] = {0, 0};
    source.Read(length, sizeof length);
    source.Skip(LoadU16(length));
  }
  if (!TitleSizeAccepted(out->width, out->height)) return TitleRead::kBadSize;
  out->data.clear();
  try {
    // Grow with what arrives instead of trusting the stated size up front.
    std::size_t remaining = data_size;
    while (remaining) {
      const std::size_t chunk = std::min(remaining, std::max<std::size_t>(65536, out->data.size()));
      const std::size_t old = out->data.size();
      out->data.resize(old + chunk);
      const std::size_t got = source.Read(out->data.data() + old, chunk);
      out->data.resize(old + got);
      if (got < chunk) return TitleRead::kShortData;
      remaining -= got;
    }
  } catch (const std::bad_alloc&) {
    out->data = std::vector<unsigned char>();
    return TitleRead::kBadSize;
  }
  return TitleRead::kOk;
}

// Forward copy of `len` bytes from `distance` bytes back. Where the source overlaps the
// bytes being written, this repeats them, exactly as a byte-by-byte copy would.
inline void CopyBack(unsigned char* out, std::size_t distance, std::size_t len) {
  if (len <= 12) {
    const unsigned char* from = out - distance;
    for (std::size_t i = 0; i < len; ++i) out[i] = from[i];
    return;
  }
  if (distance >= len) {
    std::memcpy(out, out - distance, len);
    return;
  }
  // [out - distance, out + done) is periodic with period `distance`, so copying from a
  // whole number of periods back never overlaps and the period doubles each round.
  std::size_t done = 0;
  while (done < len) {
    const std::size_t back = done + distance;
    const std::size_t n = std::min(back, len - done);
    std::memcpy(out + done, out + done - back, n);
    done += n;
  }
}

}  // namespace

bool TitleVariantScrambled(TitleVariant variant) {
  return variant == TitleVariant::kTS00 || variant == TitleVariant::kTS01;
}

bool TitleVariantNamed(TitleVariant variant) {
  return variant == TitleVariant::kTC01 || variant == TitleVariant::kTS01;
}

const char* TitleVariantName(TitleVariant variant) {
  return kVariantWords[static_cast<int>(variant)];
}

bool MatchTitleHeader(const unsigned char* bytes, TitleVariant* variant) {
  if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0) return false;
  for (int i = 0; i < 4; ++i) {
    if (std::memcmp(bytes + 4, kVariantWords[i], 4) == 0) {
      *variant = static_cast<TitleVariant>(i);
      return true;
    }
  }
  return false;
}

bool TitleSizeAccepted(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kMaxTitlePixels && height <= kMaxTitlePixels &&
         width * height <= kMaxTitlePixels;
}

TitleRead ReadTitleFile(std::FILE* file, TitleFile* out) {
  FileSource source(file);
  return ReadTitle(source, out);
}

TitleRead ParseTitleFile(const unsigned char* bytes, std::size_t size, TitleFile* out) {
  MemorySource source(bytes, size);
  return ReadTitle(source, out);
}

void UnscrambleTitleData(unsigned char* data, std::size_t size) {
  const std::size_t whole = size / kKeySize * kKeySize;
  for (std::size_t block = 0; block < whole; block += kKeySize) {
    for (std::size_t i = 0; i < kKeySize; i += 4) {
      std::uint32_t word, key;
      std::memcpy(&word, data + block + i, 4);
      std::memcpy(&key, g_key + i, 4);
      word ^= key;
      std::memcpy(data + block + i, &word, 4);
    }
  }
  for (std::size_t i = whole; i < size; ++i) data[i] ^= g_key[i - whole];
}

void BuildTitleOffsets(std::int64_t width, std::ptrdiff_t offsets[kTitleOffsetCount]) {
  // Far offsets of absurdly wide pictures are clamped to a value that still lies before
  // the first byte of any accepted picture, so they stay bad references on 32-bit builds.
  constexpr std::int64_t kFarthest = -(3 * kMaxTitlePixels + 3);
  for (int k = 0; k < kTitleOffsetCount; ++k) {
    const std::int64_t offset = 3 * (kTitleOffsetPixels[k][0] + kTitleOffsetPixels[k][1] * width);
    offsets[k] = static_cast<std::ptrdiff_t>(std::max(offset, kFarthest));
  }
}

TitleDecode DecodeTitlePixels(const unsigned char* data, std::size_t size, int width,
                              int height, unsigned char* pixels) {
  const std::size_t total = std::size_t{3} * static_cast<std::size_t>(width) *
                            static_cast<std::size_t>(height);
  if (size < 3) return TitleDecode::kInputEnded;
  std::memcpy(pixels, data, 3);
  std::ptrdiff_t offsets[kTitleOffsetCount];
  BuildTitleOffsets(width, offsets);

  const unsigned char* in = data + 3;
  const unsigned char* const in_end = data + size;
  unsigned char* out = pixels + 3;
  unsigned char* const out_end = pixels + total;
  while (out < out_end) {
    if (in == in_end) return TitleDecode::kInputEnded;
    const unsigned command = *in++;
    const std::size_t room = static_cast<std::size_t>(out_end - out);
    if (command & 0x80) {
      std::size_t len = (command & 3) + 1;
      if (len == 4) {
        if (in_end - in < 2) return TitleDecode::kInputEnded;
        len = LoadU16(in) + 4;
        in += 2;
      }
      len *= 3;
      const bool overrun = len > room;
      if (overrun) len = room;
      const std::ptrdiff_t offset = offsets[(command >> 2) & 0x1F];
      if (offset < 0) {
        const std::size_t distance = static_cast<std::size_t>(-offset);
        if (distance > static_cast<std::size_t>(out - pixels)) return TitleDecode::kBadReference;
        CopyBack(out, distance, len);
      } else if (offset > 0) {
        // Only pictures up to 3 pixels wide have such entries: the source lies ahead, in
        // bytes not produced yet, which the copy reads as the memory holds them.
        if (static_cast<std::size_t>(offset) > room - len) return TitleDecode::kBadReference;
        std::memmove(out, out + offset, len);
      }
      out += len;
      if (overrun) return TitleDecode::kOverrun;
    } else {
      std::size_t len = command + 1;
      if (command == 0x7F) {
        if (in_end - in < 2) return TitleDecode::kInputEnded;
        len = LoadU16(in) + 128;
        in += 2;
      }
      len *= 3;
      const bool overrun = len > room;
      if (overrun) len = room;
      const std::size_t available = static_cast<std::size_t>(in_end - in);
      if (len > available) {
        std::memcpy(out, in, available);
        return TitleDecode::kInputEnded;
      }
      std::memcpy(out, in, len);
      in += len;
      out += len;
      if (overrun) return TitleDecode::kOverrun;
    }
  }
  return TitleDecode::kComplete;
}

void SpreadTitleRows(unsigned char* pixels, int width, int height, std::size_t stride) {
  const std::size_t row = std::size_t{3} * static_cast<std::size_t>(width);
  if (stride == row) return;
  for (std::size_t r = static_cast<std::size_t>(height); r-- > 1;) {
    std::memmove(pixels + r * stride, pixels + r * row, row);
  }
}

TitleDecode DecodeTitleFile(TitleFile* file, unsigned char* pixels, std::size_t stride) {
  std::vector<unsigned char>& data = file->data;
  std::size_t size = data.size();
  if (TitleVariantScrambled(file->variant)) {
    UnscrambleTitleData(data.data(), size);
    if (size < 2 || data[size - 2] != 'T' || data[size - 1] != 'S') return TitleDecode::kUnchecked;
    size -= 2;
  }
  const TitleDecode result = DecodeTitlePixels(data.data(), size, file->width, file->height, pixels);
  SpreadTitleRows(pixels, file->width, file->height, stride);
  return result;
}
