// The entry stream of an archive read front to back, across its volumes: what the walk and
// the tools read headers and data from. Reads are buffered, so a header costs no system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/volume_set.h"

struct LocatedArchive;

// Opens the further volumes of a located archive (beside its first volume), and hashes them.
class VolumeOpener {
 public:
  virtual ~VolumeOpener() = default;
  // Null when the volume does not open.
  virtual std::unique_ptr<ArchiveFile> OpenVolume(const std::string& name) = 0;
  virtual std::unique_ptr<Sha256> NewDigest() = 0;
};

enum class VolumeUse {
  kChecked,    // a volume is hashed whole against its record before a byte of it is read
  kUnchecked,  // only headers are wanted (sizes for the free-space check): not hashed
  kFirstOnly,  // the setup pass: the stream ends with the first volume, which holds every setup file
};

class ArchiveStream {
 public:
  // From the file's current position (`start`) for `length` bytes (-1: to its end), and then
  // the volumes of `records`, each opened through `opener`.
  ArchiveStream(ArchiveFile& first, std::int64_t start, std::int64_t length, const std::vector<VolumeRecord>& records,
                VolumeOpener* opener, VolumeUse use);
  // A located archive from its first entry; `opener` may be null for an archive of one volume.
  // (Defined with the locator, which this stream's readers sit above.)
  ArchiveStream(LocatedArchive& archive, VolumeOpener* opener = nullptr, VolumeUse use = VolumeUse::kChecked);
  // One file, from its current position to its end.
  explicit ArchiveStream(ArchiveFile& file);
  ArchiveStream(const ArchiveStream&) = delete;
  ArchiveStream& operator=(const ArchiveStream&) = delete;

  // Up to `size` bytes; fewer only where the archive ends or a volume failed.
  std::size_t Read(void* data, std::size_t size);
  // False where the archive ends (or a volume fails) first.
  bool Skip(std::int64_t count);

  // Every further volume opens and has its recorded size, so that a set not wholly downloaded
  // is found before anything is written; what each holds is still checked when it is reached.
  // False (naming the volume) otherwise; true at once for kFirstOnly.
  bool FindVolumes();

  // The further volume that was missing, short or not the one recorded; empty when none.
  const std::string& bad_volume() const { return bad_volume_; }
  // kFirstOnly: the stream reached the first volume's end.
  bool reached_first_volume_end() const { return first_end_; }

 private:
  bool NextVolume();
  bool CheckVolume(ArchiveFile& file, const VolumeRecord& record);
  // Bytes of the current part still unread in its file.
  std::int64_t FileLeft() const;

  ArchiveFile* file_;
  std::unique_ptr<ArchiveFile> volume_;  // the further volume open now
  std::int64_t position_;                // in file_
  std::int64_t end_;                     // of the current part in file_; -1: the file's end
  std::vector<VolumeRecord> records_;
  std::size_t next_record_ = 0;
  VolumeOpener* opener_ = nullptr;
  VolumeUse use_ = VolumeUse::kChecked;
  std::string bad_volume_;
  bool first_end_ = false;
  bool ended_ = false;  // a file read short
  std::vector<unsigned char> buffer_;
  std::size_t buffered_ = 0;  // bytes in buffer_
  std::size_t taken_ = 0;     // of those, handed out
};
