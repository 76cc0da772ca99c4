#include "uninst/no_follow_win.h"

#include "system/final_path_rule.h"
#include "system/handle_path_win.h"

namespace {

// The Vista-and-later calls, looked up in the already loaded kernel32. Without the final
// path (an older system) nothing is deleted: the checks by name alone cannot see a swap.
struct FileBasicInformation {
  LARGE_INTEGER creation_time;
  LARGE_INTEGER last_access_time;
  LARGE_INTEGER last_write_time;
  LARGE_INTEGER change_time;
  DWORD attributes;
};
struct FileDispositionInformation {
  BOOLEAN delete_file;
};
constexpr int kFileBasicInfo = 0;
constexpr int kFileDispositionInfo = 4;

using SetInfoFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

SetInfoFn SetInfoFunction() {
  static const SetInfoFn fn = LoadedFunction<SetInfoFn>(L"kernel32.dll", "SetFileInformationByHandle");
  return fn;
}

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

bool DeleteByHandle(HANDLE handle, DWORD attributes) {
  const SetInfoFn set_info = SetInfoFunction();
  if (!set_info) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    FileBasicInformation basic{};
    basic.attributes = (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
    if (basic.attributes != FILE_ATTRIBUTE_NORMAL) basic.attributes &= ~FILE_ATTRIBUTE_NORMAL;
    set_info(handle, kFileBasicInfo, &basic, sizeof basic);
  }
  FileDispositionInformation disposition{TRUE};
  return set_info(handle, kFileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// Opens `path` without following a link, checks it, and deletes it through the handle; with
// `only_check` the plain folder is merely confirmed.
NoFollowResult Remove(const std::string& path, Kind kind, bool named, bool only_check) {
  NoFollowResult result;
  std::wstring wide;
  if (!WidenCp932(path, &wide)) {
    result.error = ERROR_NO_UNICODE_TRANSLATION;
    return result;
  }
  result = CheckComponentsAbove(wide);
  if (result.status != NoFollow::kDone) return result;

  const DWORD by_name = GetFileAttributesW(wide.c_str());
  if (by_name == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    result.status = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? NoFollow::kGone : NoFollow::kFailed;
    result.error = error;
    return result;
  }
  const bool link_by_name = (by_name & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (link_by_name && (!named || only_check)) {
    result.status = NoFollow::kLinkLeft;
    result.where = path;
    return result;
  }

  const DWORD access = only_check ? FILE_READ_ATTRIBUTES : DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
  FileHandle handle(CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.ok()) {
    const DWORD error = GetLastError();
    result.status = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? NoFollow::kGone : NoFollow::kFailed;
    result.error = error;
    return result;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle.get(), &info)) {
    result.status = NoFollow::kFailed;
    result.error = GetLastError();
    return result;
  }
  const bool link_by_handle = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // The name showed a link but the handle holds something else: the system followed it
  // (some do, whatever the flag says). Nothing is done through such a handle.
  if (link_by_name != link_by_handle) {
    result.status = NoFollow::kLinkLeft;
    result.where = path;
    return result;
  }
  if (!link_by_handle) {
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder != (kind == Kind::kFolder)) {
      result.status = NoFollow::kWrongKind;
      return result;
    }
  }
  // A final path the system cannot give, or one on another volume, is not the path asked for.
  if (!HandleIsAt(handle.get(), wide)) {
    result.status = NoFollow::kElsewhere;
    return result;
  }
  if (only_check) {
    result.status = NoFollow::kDone;
    return result;
  }
  if (DeleteByHandle(handle.get(), info.dwFileAttributes)) {
    result.status = NoFollow::kDone;
    return result;
  }
  DWORD error = GetLastError();
  if (error == ERROR_CALL_NOT_IMPLEMENTED) {
    // An older system: by name, right after the checks above.
    const BOOL done = kind == Kind::kFolder ? RemoveDirectoryW(wide.c_str()) : DeleteFileW(wide.c_str());
    if (done) {
      result.status = NoFollow::kDone;
      return result;
    }
    error = GetLastError();
  }
  result.status = NoFollow::kFailed;
  result.error = error;
  return result;
}

}  // namespace

NoFollowResult DeleteFileNoFollow(const std::string& path, bool named) { return Remove(path, Kind::kFile, named, false); }

NoFollowResult RemoveFolderNoFollow(const std::string& path, bool named) {
  return Remove(path, Kind::kFolder, named, false);
}

NoFollowResult CheckFolderNoFollow(const std::string& folder) { return Remove(folder, Kind::kFolder, false, true); }
