#include "archive/archive_file.h"

namespace {

bool SeekStream(std::FILE* file, std::int64_t offset, int whence) {
#ifdef _WIN32
  return _fseeki64(file, offset, whence) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

std::int64_t TellStream(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return static_cast<std::int64_t>(ftello(file));
#endif
}

}  // namespace

std::size_t StdioArchiveFile::Read(void* data, std::size_t size) { return std::fread(data, 1, size, file_); }

bool StdioArchiveFile::Seek(std::int64_t offset) { return offset >= 0 && SeekStream(file_, offset, SEEK_SET); }

std::int64_t StdioArchiveFile::Tell() { return TellStream(file_); }

std::int64_t StdioArchiveFile::Size() {
  const std::int64_t at = TellStream(file_);
  if (at < 0 || !SeekStream(file_, 0, SEEK_END)) return -1;
  const std::int64_t size = TellStream(file_);
  return SeekStream(file_, at, SEEK_SET) ? size : -1;
}
