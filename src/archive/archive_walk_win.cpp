#include "archive/archive_walk_win.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "archive/archive_reader.h"
#include "archive/archive_walk.h"
#include "archive/copy_dialog_win.h"
#include "common/cp932.h"
#include "common/message_win.h"

namespace {

// The walk's view of Windows: files through the C runtime ("wb", as the reader expects a
// plain replace), folders and time stamps through the kernel, progress into the dialog.
class WindowsSink : public StdioOutputSink {
 public:
  explicit WindowsSink(bool dialog) : dialog_(dialog) {}
  void CreateFolder(const std::string& path) override { CreateDirectoryA(path.c_str(), nullptr); }
  void SetWriteTime(const std::string& path, std::uint64_t filetime) override {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(filetime);
    time.dwHighDateTime = static_cast<DWORD>(filetime >> 32);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
  }
  void* AllocateBlock(std::size_t size) override { return Allocate(size); }
  void FreeBlock(void* block) override { std::free(block); }
  void BeginFile(const std::string& path, int file_range) override {
    if (dialog_) ShowCopyFile(path.c_str(), file_range);
  }
  void UpdateProgress(int file_position, int overall_position) override {
    if (dialog_) ShowCopyProgress(file_position, overall_position);
  }
  void Pump() override { PumpMessages(); }

 private:
  bool dialog_;
};

bool LocateOwnArchive(LocatedArchive* found) {
  char exe[kPathBuffer] = "";
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  return LocateArchive(exe, found) == LocateStatus::kFound;
}

[[noreturn]] void FailReading(WalkCleanUp clean_up) {
  CloseCopyDialog();
  ErrorBox("ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。");
  if (clean_up) clean_up();
  std::exit(-1);
}

}  // namespace

void WalkArchive(const char* target, int pass, WalkCleanUp clean_up) {
  LocatedArchive found;
  if (!LocateOwnArchive(&found)) FailReading(clean_up);
  const WalkPass walk_pass = pass == 0 ? WalkPass::kFull : WalkPass::kSetup;
  const bool dialog = walk_pass == WalkPass::kFull && OpenCopyDialog(found.length) != nullptr;
  WindowsSink sink(dialog);
  if (!WalkEntries(found.stream.get(), target, walk_pass, sink).Ok()) FailReading(clean_up);
  found.stream.reset();
  CloseCopyDialog();
}

bool ArchiveUncompressedTotal(std::uint64_t* bytes) {
  LocatedArchive found;
  if (!LocateOwnArchive(&found)) return false;
  return SumUncompressedSizes(found.stream.get(), bytes);
}
