#include "archive/archive_walk_win.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "archive/archive_file_win.h"
#include "archive/archive_reader.h"
#include "archive/archive_stream.h"
#include "archive/archive_walk.h"
#include "archive/copy_dialog_win.h"
#include "archive/entry_names.h"
#include "archive/sha256_win.h"
#include "common/cp932.h"
#include "common/message_win.h"
#include "common/setup_names.h"
#include "common/wide_win.h"

namespace {

// Access is also denied for a new file in a folder we may not write, which no retry cures:
// only an existing file counts as held.
bool HeldByAnotherProgram(const std::string& path, unsigned long error) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
  if (error != ERROR_ACCESS_DENIED) return false;
  const DWORD attributes = GetFileAttributesCp932(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The further volumes lie beside the first, in the running executable's folder; each is
// read through the handle it was checked through.
class FolderVolumes : public VolumeOpener {
 public:
  void SetFolder(const std::wstring& folder) { folder_ = folder; }
  std::unique_ptr<ArchiveFile> OpenVolume(const std::string& name) override {
    std::wstring path = folder_ + L'\\';
    return !folder_.empty() && AppendCp932(&path, name) ? OpenArchiveFileW(path) : nullptr;
  }
  std::unique_ptr<Sha256> NewDigest() override { return NewSystemSha256(); }

 private:
  std::wstring folder_;
};

// In UTF-16: the setup program may lie in a folder with no CP932 form (a user name with "é").
bool LocateOwnArchive(LocatedArchive* found, FolderVolumes* volumes) {
  const std::wstring exe = ModuleFileNameW(nullptr);
  if (exe.empty()) return false;
  const std::wstring folder = ParentFolderW(exe);
  volumes->SetFolder(folder);
  std::wstring sidecar = folder + L'\\';
  std::unique_ptr<ArchiveFile> sidecar_file = AppendCp932(&sidecar, kSidecarName) ? OpenArchiveFileW(sidecar) : nullptr;
  return LocateOwnArchiveIn(OpenArchiveFileW(exe), std::move(sidecar_file), found) == LocateStatus::kFound;
}

WalkFileHook g_file_hook = nullptr;

// The walk's view of Windows: each file created, written, stamped and closed through one
// handle; folders through the kernel, progress into the dialog.
class WindowsSink : public WalkSink {
 public:
  WindowsSink(bool dialog, bool ask_when_locked, const std::string& target, std::vector<WalkCopy>* copies)
      : dialog_(dialog), ask_when_locked_(ask_when_locked), target_(target), copies_(copies) {}
  ~WindowsSink() override {
    if (out_ != INVALID_HANDLE_VALUE) CloseHandle(out_);
    if (copy_file_ != INVALID_HANDLE_VALUE) CloseHandle(copy_file_);
  }
  WindowsSink(const WindowsSink&) = delete;
  WindowsSink& operator=(const WindowsSink&) = delete;
  // The player declined to retry a file that another program holds.
  bool Cancelled() const { return cancelled_; }
  // The first output that could not be created or written, and the system's reason.
  const std::string& failed_path() const { return failed_path_; }
  DWORD failed_error() const { return failed_error_; }
  void CreateFolder(const std::string& path) override { CreateDirectoryCp932(path.c_str(), nullptr); }
  // The game may still be running during a reinstall: a file it holds is named, and the
  // player can end it and retry.
  bool OpenOutput(const std::string& path) override {
    for (;;) {
      DWORD error = ERROR_SUCCESS;
      out_ = CreateOutput(path, &error);
      if (out_ != INVALID_HANDLE_VALUE) break;
      if (!ask_when_locked_ || !HeldByAnotherProgram(path, error)) return Failed(path, error);
      if (!RetrySkipBox(kFileInUseText, path.c_str())) {
        cancelled_ = true;
        return false;
      }
    }
    out_path_ = path;
    OpenCopy(path);
    return true;
  }
  bool WriteOutput(const unsigned char* data, std::size_t size) override {
    if (copy_ && copy_file_ != INVALID_HANDLE_VALUE && !WriteAll(copy_file_, data, size)) copy_failed_ = true;
    DWORD error = ERROR_SUCCESS;
    return WriteAll(out_, data, size, &error) || Failed(out_path_, error);
  }
  bool CloseOutput() override { return EndOutput(); }
  // The time goes on the open handle just before it closes: the file ends with its stored time.
  bool FinishOutput(const std::string& path, std::uint64_t filetime) override {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(filetime);
    time.dwHighDateTime = static_cast<DWORD>(filetime >> 32);
    SetFileTime(out_, nullptr, nullptr, &time);
    const bool ok = EndOutput();
    if (g_file_hook) g_file_hook(path);
    return ok;
  }
  // No box here: the walk may ask for several blocks before it gives up, and its failure
  // path shows the one out-of-memory box.
  void* AllocateBlock(std::size_t size) override { return AllocateQuietly(size); }
  void FreeBlock(void* block) override { std::free(block); }
  void BeginFile(const std::string& path, int file_range) override {
    if (dialog_) ShowCopyFile(path.c_str(), file_range);
  }
  void UpdateProgress(int file_position, int overall_position) override {
    if (dialog_) ShowCopyProgress(file_position, overall_position);
  }
  void Pump() override { PumpMessages(); }
  void Waiting() override { PumpMessages(); }

 private:
  // A new file is made as new: replacing (truncating) one costs more on some file systems,
  // which then write it out as it closes (ext4 under Wine: 10% of the install).
  static HANDLE CreateOutput(const std::string& path, DWORD* error) {
    HANDLE file = CreateFileCp932(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    *error = GetLastError();
    if (*error != ERROR_FILE_EXISTS) return file;
    file = CreateFileCp932(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (file == INVALID_HANDLE_VALUE) *error = GetLastError();
    return file;
  }

  static bool WriteAll(HANDLE file, const unsigned char* data, std::size_t size, DWORD* error = nullptr) {
    DWORD written = 0;  // a block is far below 4 GiB: one call writes it
    if (!WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr)) {
      if (error) *error = GetLastError();
      return false;
    }
    // A disk file written synchronously comes up short only when its volume is full.
    if (written != size && error) *error = ERROR_DISK_FULL;
    return written == size;
  }

  // Always false, for the caller to return; the first failure is the one the player is told.
  bool Failed(const std::string& path, DWORD error) {
    if (failed_path_.empty()) {
      failed_path_ = path;
      failed_error_ = error;
    }
    return false;
  }

  bool EndOutput() {
    const bool ok = CloseHandle(out_) != FALSE || Failed(out_path_, GetLastError());
    out_ = INVALID_HANDLE_VALUE;
    if (copy_) {
      const bool closed = copy_file_ != INVALID_HANDLE_VALUE && CloseHandle(copy_file_);
      copy_->copied = ok && closed && !copy_failed_;
      copy_ = nullptr;
      copy_file_ = INVALID_HANDLE_VALUE;
    }
    return ok;
  }

  // A second output for an entry of `copies_`; a later entry of the same name replaces it, as
  // it replaces the installed file.
  void OpenCopy(const std::string& path) {
    if (!copies_) return;
    for (WalkCopy& copy : *copies_) {
      std::string joined;
      if (!JoinOutputPath(target_, copy.entry_name, &joined) || LowerMb(joined) != LowerMb(path)) continue;
      copy.seen = true;
      copy.copied = false;
      if (copy.destination.empty()) return;
      copy_ = &copy;
      copy_failed_ = false;
      copy_file_ = CreateFileCp932(copy.destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
      return;
    }
  }

  bool dialog_;
  bool ask_when_locked_;
  bool cancelled_ = false;
  std::string target_;
  std::vector<WalkCopy>* copies_;
  HANDLE out_ = INVALID_HANDLE_VALUE;  // the file being written
  std::string out_path_;
  std::string failed_path_;
  DWORD failed_error_ = ERROR_SUCCESS;
  WalkCopy* copy_ = nullptr;  // the copy the open output feeds
  HANDLE copy_file_ = INVALID_HANDLE_VALUE;  // closed with the output, or here after a failure
  bool copy_failed_ = false;
};

// The one box of the failure path: none when the player has just cancelled on a box of the
// walk's own; the allocate service's box when memory ran out, wherever the walk ran out; the
// volume that failed its check; the file that could not be written, and whether the disk was
// full; for everything else the archive is damaged.
struct FailureBox {
  enum class Kind { kReadFailure, kNoMemory, kVolume, kWriteFailure, kDiskFull, kNone };
  Kind kind = Kind::kReadFailure;
  std::string subject;  // the volume's name or the file's path
};

FailureBox BoxFor(const WalkOutcome& outcome, const WindowsSink& sink) {
  using Kind = FailureBox::Kind;
  if (sink.Cancelled()) return {Kind::kNone, {}};
  switch (outcome.error) {
    case WalkError::kNoMemory: return {Kind::kNoMemory, {}};
    case WalkError::kVolumeBad: return {Kind::kVolume, outcome.volume};
    case WalkError::kCreateFailed:
    case WalkError::kWriteFailed:
      if (sink.failed_path().empty()) break;
      if (sink.failed_error() == ERROR_DISK_FULL || sink.failed_error() == ERROR_HANDLE_DISK_FULL) {
        return {Kind::kDiskFull, sink.failed_path()};
      }
      return {Kind::kWriteFailure, sink.failed_path()};
    default: break;
  }
  return {Kind::kReadFailure, {}};
}

[[noreturn]] void FailWalk(WalkCleanUp clean_up, const FailureBox& box = FailureBox()) {
  using Kind = FailureBox::Kind;
  CloseCopyDialog();
  switch (box.kind) {
    case Kind::kReadFailure:
      ErrorBox("ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。");
      break;
    case Kind::kNoMemory: OutOfMemoryBox(); break;
    case Kind::kVolume: ErrorBox("[%s]が見つからないか、壊れています。", box.subject.c_str()); break;
    case Kind::kWriteFailure: ErrorBox("ファイルの書き込みに失敗しました。\n%s", box.subject.c_str()); break;
    case Kind::kDiskFull:
      ErrorBox("ディスクの空き容量が不足しているため、ファイルを書き込めませんでした。\n%s", box.subject.c_str());
      break;
    case Kind::kNone: break;
  }
  if (clean_up) clean_up();
  std::exit(-1);
}

}  // namespace

void SetWalkFileHook(WalkFileHook hook) { g_file_hook = hook; }

void WalkArchive(const char* target, int pass, WalkCleanUp clean_up, std::vector<WalkCopy>* copies) {
  // An empty target (no usable temporary folder) would join every name to "\name", the root
  // of the current drive.
  if (target == nullptr || target[0] == '\0') FailWalk(clean_up);
  LocatedArchive found;
  FolderVolumes volumes;
  if (!LocateOwnArchive(&found, &volumes)) FailWalk(clean_up);
  const WalkPass walk_pass = pass == 0 ? WalkPass::kFull : WalkPass::kSetup;
  const bool full = walk_pass == WalkPass::kFull;
  const bool dialog = full && OpenCopyDialog(found.TotalLength()) != nullptr;
  WindowsSink sink(dialog, full, target, full ? copies : nullptr);
  WalkOutcome outcome;
  {
    ArchiveStream stream(found, &volumes, full ? VolumeUse::kChecked : VolumeUse::kFirstOnly);
    outcome = WalkEntries(stream, target, walk_pass, sink);
  }
  if (!outcome.Ok()) FailWalk(clean_up, BoxFor(outcome, sink));
  found.file.reset();
  CloseCopyDialog();
}

bool ArchiveUncompressedTotal(std::uint64_t* bytes, std::uint64_t cluster) {
  LocatedArchive found;
  FolderVolumes volumes;
  if (!LocateOwnArchive(&found, &volumes)) return false;
  ArchiveStream stream(found, &volumes, VolumeUse::kUnchecked);
  return SumUncompressedSizes(stream, bytes, cluster);
}
