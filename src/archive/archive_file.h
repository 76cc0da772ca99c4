// The files an archive is read from, behind one interface: the setup program or side-car
// (the first volume), the further volumes beside it, and in tests bytes made up as they are
// read. Every offset and size is 64-bit: a game's archive may be far larger than 4 GiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "archive/signed_image.h"  // ByteSource

class ArchiveFile : public ByteSource {
 public:
  // Up to `size` bytes from the current position; fewer only at the file's end or on failure.
  virtual std::size_t Read(void* data, std::size_t size) = 0;
  // To an absolute position (which may lie past the end; reads there return nothing).
  virtual bool Seek(std::int64_t offset) = 0;
  virtual std::int64_t Tell() = 0;
  // The file's size; -1 when it cannot be told.
  virtual std::int64_t Size() = 0;
  bool ReadAt(std::int64_t offset, void* data, std::size_t size) override {
    return offset >= 0 && Seek(offset) && Read(data, size) == size;
  }
};

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file) std::fclose(file);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A C runtime stream, sought with 64-bit offsets (fseek takes a `long`, 32 bits on Windows).
class StdioArchiveFile : public ArchiveFile {
 public:
  explicit StdioArchiveFile(FilePtr file) : owned_(std::move(file)), file_(owned_.get()) {}
  // A stream the caller keeps open.
  explicit StdioArchiveFile(std::FILE* borrowed) : file_(borrowed) {}
  std::size_t Read(void* data, std::size_t size) override;
  bool Seek(std::int64_t offset) override;
  std::int64_t Tell() override;
  std::int64_t Size() override;
  std::FILE* get() const { return file_; }

 private:
  FilePtr owned_;
  std::FILE* file_;
};

// SHA-256, from the platform: the core only asks for one.
constexpr std::size_t kDigestBytes = 32;
class Sha256 {
 public:
  virtual ~Sha256() = default;
  virtual void Update(const void* data, std::size_t size) = 0;
  // False when the platform failed to hash.
  virtual bool Final(unsigned char digest[kDigestBytes]) = 0;
};
