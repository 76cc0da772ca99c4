#include "resgen/avi_writer.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace resgen {

namespace {

class Riff {
 public:
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void FourCc(const char* code) { bytes_.insert(bytes_.end(), code, code + 4); }
  void Bytes(const std::vector<std::uint8_t>& data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }

  // Opens a chunk (or a RIFF/LIST with its form type); Close patches the size and pads.
  std::size_t Open(const char* id, const char* form = nullptr) {
    FourCc(id);
    const std::size_t size_at = bytes_.size();
    U32(0);
    if (form) FourCc(form);
    return size_at;
  }
  void Close(std::size_t size_at) {
    const std::uint32_t size = static_cast<std::uint32_t>(bytes_.size() - size_at - 4);
    for (int i = 0; i < 4; ++i) bytes_[size_at + i] = static_cast<std::uint8_t>(size >> (8 * i));
    if (size & 1) U8(0);
  }

  std::size_t Size() const { return bytes_.size(); }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

constexpr std::uint32_t kOneSecond = 1000000;

}  // namespace

std::vector<std::uint8_t> BuildRleAvi(const RleVideo& video) {
  if (video.width <= 0 || video.height <= 0 || video.micro_seconds_per_frame == 0 ||
      video.palette.empty() || video.palette.size() > 256 || video.frames.empty()) {
    throw std::invalid_argument("incomplete video description");
  }
  const auto frame_count = static_cast<std::uint32_t>(video.frames.size());
  std::uint32_t largest = 0;
  for (const auto& frame : video.frames) {
    largest = std::max(largest, static_cast<std::uint32_t>(frame.size()));
  }
  const std::uint32_t common = std::gcd(kOneSecond, video.micro_seconds_per_frame);
  const std::uint32_t rate = kOneSecond / common;
  const std::uint32_t scale = video.micro_seconds_per_frame / common;
  const auto colours = static_cast<std::uint32_t>(video.palette.size());

  Riff riff;
  const std::size_t file = riff.Open("RIFF", "AVI ");
  const std::size_t header_list = riff.Open("LIST", "hdrl");

  const std::size_t main_header = riff.Open("avih");
  riff.U32(video.micro_seconds_per_frame);
  riff.U32(static_cast<std::uint32_t>(
      (static_cast<std::uint64_t>(largest) * rate + scale - 1) / scale));  // max bytes per second
  riff.U32(0);             // padding granularity
  riff.U32(kAviHasIndex);
  riff.U32(frame_count);
  riff.U32(0);             // initial frames
  riff.U32(1);             // streams
  riff.U32(largest);       // suggested buffer size
  riff.U32(static_cast<std::uint32_t>(video.width));
  riff.U32(static_cast<std::uint32_t>(video.height));
  for (int i = 0; i < 4; ++i) riff.U32(0);
  riff.Close(main_header);

  const std::size_t stream_list = riff.Open("LIST", "strl");
  const std::size_t stream_header = riff.Open("strh");
  riff.FourCc("vids");
  riff.U32(kRleHandler);
  riff.U32(0);             // flags
  riff.U16(0);             // priority
  riff.U16(0);             // language
  riff.U32(0);             // initial frames
  riff.U32(scale);
  riff.U32(rate);
  riff.U32(0);             // start
  riff.U32(frame_count);   // length
  riff.U32(largest);       // suggested buffer size
  riff.U32(0xFFFFFFFFu);   // quality: default
  riff.U32(0);             // sample size: frames vary
  riff.U16(0);
  riff.U16(0);
  riff.U16(static_cast<std::uint16_t>(video.width));
  riff.U16(static_cast<std::uint16_t>(video.height));
  riff.Close(stream_header);

  // The format is the frames' BITMAPINFO. Its image size is the largest frame, because
  // players hand this header to the RLE decoder unchanged for every frame.
  const std::size_t stream_format = riff.Open("strf");
  riff.U32(40);
  riff.I32(video.width);
  riff.I32(video.height);
  riff.U16(1);
  riff.U16(8);
  riff.U32(kBiRle8);
  riff.U32(largest);
  riff.I32(0);
  riff.I32(0);
  riff.U32(colours);
  riff.U32(colours);
  for (std::uint32_t rgb : video.palette) {
    riff.U8(static_cast<std::uint8_t>(rgb));
    riff.U8(static_cast<std::uint8_t>(rgb >> 8));
    riff.U8(static_cast<std::uint8_t>(rgb >> 16));
    riff.U8(0);
  }
  riff.Close(stream_format);
  riff.Close(stream_list);
  riff.Close(header_list);

  // Index offsets count from the 'movi' form type, as the index format defines.
  const std::size_t movie = riff.Open("LIST", "movi");
  const std::size_t movie_base = movie + 4;
  std::vector<std::uint32_t> offsets;
  for (const auto& frame : video.frames) {
    offsets.push_back(static_cast<std::uint32_t>(riff.Size() - movie_base));
    const std::size_t chunk = riff.Open("00dc");
    riff.Bytes(frame);
    riff.Close(chunk);
  }
  riff.Close(movie);

  const std::size_t index = riff.Open("idx1");
  for (std::size_t i = 0; i < video.frames.size(); ++i) {
    riff.FourCc("00dc");
    riff.U32(kIndexKeyFrame);
    riff.U32(offsets[i]);
    riff.U32(static_cast<std::uint32_t>(video.frames[i].size()));
  }
  riff.Close(index);
  riff.Close(file);
  return riff.Take();
}

}  // namespace resgen
