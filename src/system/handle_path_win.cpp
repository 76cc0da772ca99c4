#include "system/handle_path_win.h"

#include <vector>

#include "system/final_path_rule.h"

namespace {

std::u16string Utf16(const std::wstring& wide) { return std::u16string(wide.begin(), wide.end()); }

bool FinalPathOf(HANDLE handle, std::u16string* path) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (int tries = 0; tries < 2; ++tries) {
    const DWORD n = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return false;
    if (n < buffer.size()) {
      path->assign(buffer.begin(), buffer.begin() + n);
      return true;
    }
    buffer.resize(static_cast<std::size_t>(n) + 1);  // n counts the terminator when too small
  }
  return false;
}

}  // namespace

bool HandleIsAt(HANDLE handle, const std::wstring& path) {
  HandleFacts facts;
  facts.final_path_known = FinalPathOf(handle, &facts.final_path);
  const std::u16string root = PathRoot(Utf16(path));
  BY_HANDLE_FILE_INFORMATION info;
  DWORD root_serial = 0;
  if (!root.empty() && GetFileInformationByHandle(handle, &info) &&
      GetVolumeInformationW(std::wstring(root.begin(), root.end()).c_str(), nullptr, 0, &root_serial, nullptr,
                            nullptr, nullptr, 0)) {
    facts.volumes_known = true;
    facts.handle_volume = info.dwVolumeSerialNumber;
    facts.root_volume = root_serial;
  }
  return HandleIsAtPath(Utf16(path), facts);
}

HANDLE OpenFolderItself(const std::wstring& folder, DWORD access) {
  const DWORD by_name = GetFileAttributesW(folder.c_str());
  if (by_name == INVALID_FILE_ATTRIBUTES || (by_name & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(by_name & FILE_ATTRIBUTE_DIRECTORY)) {
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = CreateFileW(folder.c_str(), access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return handle;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && HandleIsAt(handle, folder)) {
    return handle;
  }
  CloseHandle(handle);
  return INVALID_HANDLE_VALUE;
}
