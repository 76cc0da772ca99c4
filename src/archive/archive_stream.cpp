#include "archive/archive_stream.h"

#include <algorithm>
#include <cstring>

namespace {

// Headers are read through this; data blocks (kBlockSize) go straight to the caller.
constexpr std::size_t kBufferBytes = 64 << 10;
// A volume is hashed in pieces of this size.
constexpr std::size_t kHashPiece = 1 << 20;

}  // namespace

ArchiveStream::ArchiveStream(ArchiveFile& first, std::int64_t start, std::int64_t length,
                             const std::vector<VolumeRecord>& records, VolumeOpener* opener, VolumeUse use)
    : file_(&first),
      position_(start),
      end_(length < 0 ? -1 : start + length),
      records_(records),
      opener_(opener),
      use_(use),
      buffer_(kBufferBytes) {
  file_->Seek(start);
}

ArchiveStream::ArchiveStream(ArchiveFile& file) : file_(&file), position_(file.Tell()), end_(-1), buffer_(kBufferBytes) {}

std::int64_t ArchiveStream::FileLeft() const { return end_ < 0 ? INT64_MAX : end_ - position_; }

bool ArchiveStream::CheckVolume(ArchiveFile& file, const VolumeRecord& record) {
  if (file.Size() != record.size) return false;
  if (use_ != VolumeUse::kChecked) return file.Seek(0);
  std::unique_ptr<Sha256> digest = opener_->NewDigest();
  if (!digest || !file.Seek(0)) return false;
  std::vector<unsigned char> piece(static_cast<std::size_t>(std::min<std::int64_t>(record.size, kHashPiece)));
  for (std::int64_t left = record.size; left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, kHashPiece));
    if (file.Read(piece.data(), n) != n) return false;
    digest->Update(piece.data(), n);
    left -= static_cast<std::int64_t>(n);
  }
  unsigned char got[kDigestBytes];
  return digest->Final(got) && std::memcmp(got, record.digest.data(), kDigestBytes) == 0 && file.Seek(0);
}

bool ArchiveStream::FindVolumes() {
  if (use_ == VolumeUse::kFirstOnly) return true;
  for (std::size_t i = next_record_; i < records_.size() && bad_volume_.empty(); ++i) {
    const std::string name = VolumeName(kFirstFurtherVolume + static_cast<int>(i));
    const std::unique_ptr<ArchiveFile> volume = opener_ ? opener_->OpenVolume(name) : nullptr;
    if (!volume || volume->Size() != records_[i].size) bad_volume_ = name;
  }
  return bad_volume_.empty();
}

bool ArchiveStream::NextVolume() {
  if (!bad_volume_.empty() || next_record_ >= records_.size()) return false;
  if (use_ == VolumeUse::kFirstOnly) {
    first_end_ = true;
    return false;
  }
  if (!opener_) {
    bad_volume_ = VolumeName(kFirstFurtherVolume + static_cast<int>(next_record_));
    return false;
  }
  const VolumeRecord& record = records_[next_record_];
  const std::string name = VolumeName(kFirstFurtherVolume + static_cast<int>(next_record_));
  // The volume in use is let go first: a set of many volumes holds one open at a time.
  volume_.reset();
  file_ = nullptr;
  std::unique_ptr<ArchiveFile> volume = opener_->OpenVolume(name);
  if (!volume || !CheckVolume(*volume, record)) {
    bad_volume_ = name;
    return false;
  }
  ++next_record_;
  volume_ = std::move(volume);
  file_ = volume_.get();
  position_ = 0;
  end_ = record.size;
  return true;
}

std::size_t ArchiveStream::Read(void* data, std::size_t size) {
  unsigned char* out = static_cast<unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    if (taken_ < buffered_) {
      const std::size_t n = std::min(size - done, buffered_ - taken_);
      std::memcpy(out + done, buffer_.data() + taken_, n);
      taken_ += n;
      done += n;
      continue;
    }
    if (ended_) break;
    const std::int64_t left = file_ ? FileLeft() : 0;
    if (left <= 0) {
      if (!NextVolume()) break;
      continue;
    }
    // Large reads skip the buffer; small ones fill it.
    const bool direct = size - done >= buffer_.size();
    unsigned char* into = direct ? out + done : buffer_.data();
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::int64_t>(left, static_cast<std::int64_t>(direct ? size - done : buffer_.size())));
    const std::size_t got = file_->Read(into, want);
    position_ += static_cast<std::int64_t>(got);
    if (direct) {
      done += got;
    } else {
      buffered_ = got;
      taken_ = 0;
    }
    // A file that ends before its part does ends the archive: what follows would not be
    // the bytes that belong here.
    if (got < want) ended_ = true;
  }
  return done;
}

bool ArchiveStream::Skip(std::int64_t count) {
  if (count < 0) return false;
  const std::size_t from_buffer = static_cast<std::size_t>(std::min<std::int64_t>(count, buffered_ - taken_));
  taken_ += from_buffer;
  count -= static_cast<std::int64_t>(from_buffer);
  while (count > 0) {
    const std::int64_t left = file_ ? FileLeft() : 0;
    if (left <= 0) {
      if (!NextVolume()) return false;
      continue;
    }
    if (ended_) return false;
    const std::int64_t n = std::min(left, count);
    if (!file_->Seek(position_ + n)) return false;
    position_ += n;
    count -= n;
  }
  return true;
}
