#include "archive_output.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform.h"

namespace {

constexpr std::size_t kHashPiece = 1 << 20;

bool WriteAt(std::FILE* file, std::int64_t at, const unsigned char* data, std::size_t size) {
  return SeekFile(file, at, SEEK_SET) && std::fwrite(data, 1, size, file) == size && SeekFile(file, 0, SEEK_END);
}

bool HashFile(const std::string& path, VolumeRecord* record) {
  FilePtr in(OpenFile(path, "rb"));
  std::unique_ptr<Sha256> digest = NewSha256();
  if (!in || !digest) return false;
  std::vector<unsigned char> piece(kHashPiece);
  record->size = 0;
  while (const std::size_t n = std::fread(piece.data(), 1, piece.size(), in.get())) {
    digest->Update(piece.data(), n);
    record->size += static_cast<std::int64_t>(n);
  }
  return !std::ferror(in.get()) && digest->Final(record->digest.data());
}

}  // namespace

ArchiveOutput::ArchiveOutput(std::FILE* first) : first_(first), first_start_(TellFile(first)), first_part_(-1) {}

ArchiveOutput::ArchiveOutput(std::FILE* first, std::int64_t first_part, const std::string& folder,
                             std::int64_t volume_size)
    : first_(first), first_start_(TellFile(first)), first_part_(first_part), folder_(folder), volume_size_(volume_size) {}

ArchiveOutput::~ArchiveOutput() {
  if (current_) std::fclose(current_);
}

bool ArchiveOutput::Fail(const std::string& why) {
  if (error_.empty()) error_ = why;
  return false;
}

bool ArchiveOutput::OpenNextVolume() {
  if (current_ && std::fclose(current_) != 0) {
    current_ = nullptr;
    return Fail("write error");
  }
  current_ = nullptr;
  const int number = kFirstFurtherVolume + static_cast<int>(paths_.size());
  if (number > kLastVolume) return Fail("more than " + std::to_string(kLastVolume) + " volumes");
  const std::string path = folder_ + VolumeName(number);
  current_ = OpenFile(path, "wb");
  if (!current_) return Fail("cannot create " + path);
  paths_.push_back(path);
  current_begin_ = written_;
  return true;
}

bool ArchiveOutput::Write(const void* data, std::size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    std::FILE* into = first_;
    std::int64_t room = INT64_MAX;
    if (first_part_ >= 0) {
      if (written_ < first_part_) {
        room = first_part_ - written_;
      } else {
        if (!current_ || written_ - current_begin_ >= volume_size_) {
          if (!OpenNextVolume()) return false;
        }
        into = current_;
        room = volume_size_ - (written_ - current_begin_);
      }
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(room, static_cast<std::int64_t>(size)));
    if (std::fwrite(bytes, 1, n, into) != n) return Fail("write error");
    bytes += n;
    size -= n;
    written_ += static_cast<std::int64_t>(n);
  }
  return true;
}

int ArchiveOutput::VolumeAt(std::int64_t at) const {
  if (first_part_ < 0 || at < first_part_) return 1;
  return 2 + static_cast<int>((at - first_part_) / volume_size_);
}

bool ArchiveOutput::Patch(std::int64_t at, const void* data, std::size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  // The bytes may straddle two volumes; each piece goes where Write put it.
  while (size > 0) {
    const int volume = VolumeAt(at);
    std::int64_t begin = 0, end = INT64_MAX;
    if (first_part_ >= 0) {
      begin = volume == 1 ? 0 : first_part_ + (volume - 2) * volume_size_;
      end = volume == 1 ? first_part_ : begin + volume_size_;
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(end - at, static_cast<std::int64_t>(size)));
    bool ok;
    if (volume == 1) {
      ok = WriteAt(first_, first_start_ + at, bytes, n);
    } else if (volume - 2 == static_cast<int>(paths_.size()) - 1 && current_) {
      ok = WriteAt(current_, at - begin, bytes, n);
    } else {
      FilePtr earlier(OpenFile(paths_[static_cast<std::size_t>(volume - 2)], "r+b"));
      ok = earlier && WriteAt(earlier.get(), at - begin, bytes, n) && std::fclose(earlier.release()) == 0;
    }
    if (!ok) return Fail("write error");
    bytes += n;
    size -= n;
    at += static_cast<std::int64_t>(n);
  }
  return true;
}

bool ArchiveOutput::Finish(std::vector<VolumeRecord>* records) {
  records->clear();
  if (current_) {
    const bool closed = std::fclose(current_) == 0;
    current_ = nullptr;
    if (!closed) return Fail("write error");
  }
  for (const std::string& path : paths_) {
    VolumeRecord record;
    if (!HashFile(path, &record)) return Fail("cannot read back " + path);
    records->push_back(record);
  }
  return true;
}
