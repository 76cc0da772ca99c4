#include "archive/archive_file_win.h"

#include <windows.h>

#include <algorithm>

namespace {

class HandleArchiveFile : public ArchiveFile {
 public:
  explicit HandleArchiveFile(HANDLE file) : file_(file) {}
  ~HandleArchiveFile() override { CloseHandle(file_); }
  HandleArchiveFile(const HandleArchiveFile&) = delete;
  HandleArchiveFile& operator=(const HandleArchiveFile&) = delete;

  std::size_t Read(void* data, std::size_t size) override {
    unsigned char* out = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    // ReadFile takes a 32-bit count.
    while (done < size) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 0x40000000u));
      DWORD got = 0;
      if (!ReadFile(file_, out + done, want, &got, nullptr) || got == 0) break;
      done += got;
    }
    return done;
  }
  bool Seek(std::int64_t offset) override {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return offset >= 0 && SetFilePointerEx(file_, to, nullptr, FILE_BEGIN);
  }
  std::int64_t Tell() override {
    LARGE_INTEGER zero, at;
    zero.QuadPart = 0;
    return SetFilePointerEx(file_, zero, &at, FILE_CURRENT) ? at.QuadPart : -1;
  }
  std::int64_t Size() override {
    LARGE_INTEGER size;
    return GetFileSizeEx(file_, &size) ? size.QuadPart : -1;
  }

 private:
  HANDLE file_;
};

}  // namespace

std::unique_ptr<ArchiveFile> OpenArchiveFileW(const std::wstring& path) {
  if (path.empty()) return nullptr;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<HandleArchiveFile>(file);
}
