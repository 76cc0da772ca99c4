#include "uninst/no_follow_win.h"

#include "system/final_path_rule.h"
#include "system/handle_path_win.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Where the root ends: after "X:" or "\\server\share"; 0 for anything else.
std::size_t RootLength(const std::wstring& path) {
  const std::u16string root = PathRoot(std::u16string(path.begin(), path.end()));
  return root.empty() ? 0 : root.size() - 1;
}

enum class Kind { kFile, kFolder };

// Every folder below the root down to the last component's: present and no reparse point.
NoFollowResult CheckComponentsAbove(const std::wstring& wide) {
  NoFollowResult result;
  const std::size_t root = RootLength(wide);
  if (root == 0) {
    result.error = ERROR_BAD_PATHNAME;
    return result;
  }
  const std::size_t last = wide.rfind(L'\\');
  for (std::size_t at = wide.find(L'\\', root + 1); at != std::wstring::npos && at <= last;
       at = wide.find(L'\\', at + 1)) {
    const std::wstring prefix = wide.substr(0, at);
    const DWORD attributes = GetFileAttributesW(prefix.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      result.status = NoFollow::kGone;
      return result;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      result.status = NoFollow::kLinkLeft;
      NarrowCp932(prefix, &result.where);
      return result;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      result.status = NoFollow::kGone;
      return result;
    }
  }
  result.status = NoFollow::kDone;
  return result;
}

NoFollowResult Status(NoFollow status) {
  NoFollowResult result;
  result.status = status;
  return result;
}

NoFollowResult LinkLeft(const std::string& where) {
  NoFollowResult result = Status(NoFollow::kLinkLeft);
  result.where = where;
  return result;
}

// A lookup or open that failed: nothing there, or the system's refusal.
NoFollowResult Missing(DWORD error) {
  NoFollowResult result =
      Status(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? NoFollow::kGone : NoFollow::kFailed);
  result.error = error;
  return result;
}

// A path as its name shows it, reached through plain folders only.
struct Found {
  std::string path;
  std::wstring wide;
  DWORD attributes = 0;  // by name
  bool IsLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

NoFollowResult Find(const std::string& path, Found* found) {
  found->path = path;
  if (!WidenCp932(path, &found->wide)) {
    NoFollowResult result;
    result.error = ERROR_NO_UNICODE_TRANSLATION;
    return result;
  }
  const NoFollowResult above = CheckComponentsAbove(found->wide);
  if (above.status != NoFollow::kDone) return above;
  found->attributes = GetFileAttributesW(found->wide.c_str());
  if (found->attributes == INVALID_FILE_ATTRIBUTES) return Missing(GetLastError());
  return Status(NoFollow::kDone);
}

// The object itself, not what a link at the end points to.
HANDLE OpenItself(const Found& found, DWORD access) {
  return CreateFileW(found.wide.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// kDone when `handle` (just opened by OpenItself) holds what the name showed: a link only
// where the name showed one, else an object of `kind`, at the very path asked for.
NoFollowResult CheckHeld(const Found& found, Kind kind, const FileHandle& handle, DWORD* attributes) {
  if (!handle.ok()) return Missing(GetLastError());
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle.get(), &info)) {
    NoFollowResult result;
    result.error = GetLastError();
    return result;
  }
  *attributes = info.dwFileAttributes;
  const bool link_by_handle = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // The name showed a link but the handle holds something else: the system followed it
  // (some do, whatever the flag says). Nothing is done through such a handle.
  if (found.IsLink() != link_by_handle) return LinkLeft(found.path);
  const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!link_by_handle && folder != (kind == Kind::kFolder)) return Status(NoFollow::kWrongKind);
  // A final path the system cannot give, or one on another volume, is not the path asked for.
  if (!HandleIsAt(handle.get(), found.wide)) return Status(NoFollow::kElsewhere);
  return Status(NoFollow::kDone);
}

// Deletes what the handle holds, a read-only file as well.
NoFollowResult DeleteHeld(const FileHandle& handle, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
    if (basic.FileAttributes != FILE_ATTRIBUTE_NORMAL) basic.FileAttributes &= ~FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(handle.get(), FileBasicInfo, &basic, sizeof basic);
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (SetFileInformationByHandle(handle.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
    return Status(NoFollow::kDone);
  }
  NoFollowResult result;
  result.error = GetLastError();
  return result;
}

// A link at the end goes itself only when `named`: the list or an exact line names this very
// path. Otherwise it is left, and so is anything the checks above refuse.
NoFollowResult Delete(const std::string& path, Kind kind, bool named) {
  Found found;
  NoFollowResult result = Find(path, &found);
  if (result.status != NoFollow::kDone) return result;
  if (found.IsLink() && !named) return LinkLeft(path);
  const FileHandle handle(OpenItself(found, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES));
  DWORD attributes = 0;
  result = CheckHeld(found, kind, handle, &attributes);
  return result.status == NoFollow::kDone ? DeleteHeld(handle, attributes) : result;
}

}  // namespace

NoFollowResult DeleteFileNoFollow(const std::string& path, bool named) { return Delete(path, Kind::kFile, named); }

NoFollowResult RemoveFolderNoFollow(const std::string& path, bool named) { return Delete(path, Kind::kFolder, named); }

NoFollowResult CheckFolderNoFollow(const std::string& folder) {
  Found found;
  const NoFollowResult result = Find(folder, &found);
  if (result.status != NoFollow::kDone) return result;
  if (found.IsLink()) return LinkLeft(folder);
  const FileHandle handle(OpenItself(found, FILE_READ_ATTRIBUTES));
  DWORD attributes = 0;
  return CheckHeld(found, Kind::kFolder, handle, &attributes);
}
