// Where build writes the entry stream: into the output file alone, or into the output file
// as the first volume and instdat.002, instdat.003, ... beside it, each at most a given
// size. Only one further volume is open at a time, and nothing is held in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/volume_set.h"

class ArchiveOutput {
 public:
  // Everything into `first`, from its current position.
  explicit ArchiveOutput(std::FILE* first);
  // The first `first_part` bytes of the stream into `first`, the rest into volumes of
  // `volume_size` bytes in `folder` (with its separator, or empty).
  ArchiveOutput(std::FILE* first, std::int64_t first_part, const std::string& folder, std::int64_t volume_size);
  ~ArchiveOutput();
  ArchiveOutput(const ArchiveOutput&) = delete;
  ArchiveOutput& operator=(const ArchiveOutput&) = delete;

  bool Write(const void* data, std::size_t size);
  bool Write(const std::vector<unsigned char>& bytes) { return Write(bytes.data(), bytes.size()); }
  // Bytes of the stream written so far.
  std::int64_t Position() const { return written_; }
  // Overwrites bytes written before (a large file's sizes, known once its data is out).
  bool Patch(std::int64_t at, const void* data, std::size_t size);
  // Closes the last volume and hashes every further one, for the first volume's table.
  bool Finish(std::vector<VolumeRecord>* records);

  // 1 for the first volume.
  int VolumeAt(std::int64_t at) const;
  const std::vector<std::string>& volume_paths() const { return paths_; }
  // What failed, for the message: "write error", or a volume that could not be made.
  const std::string& error() const { return error_; }

 private:
  bool OpenNextVolume();
  bool Fail(const std::string& why);

  std::FILE* first_;
  std::int64_t first_start_;  // where the stream begins in the first file
  std::int64_t first_part_;   // -1: no volumes
  std::string folder_;
  std::int64_t volume_size_ = 0;
  std::FILE* current_ = nullptr;      // the further volume being written
  std::int64_t current_begin_ = 0;    // its first byte's place in the stream
  std::vector<std::string> paths_;    // of the further volumes, in order
  std::int64_t written_ = 0;
  std::string error_;
};
