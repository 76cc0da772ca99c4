#include "system/folder_checks_win.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/cp932.h"
#include "common/wide_win.h"
#include "system/folder_rules.h"

namespace {

// Deep enough for any path that fits a path buffer; the loop stops here whatever remains.
constexpr int kMaxFolderLevels = 998;

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

}  // namespace

std::string TempFolder() {
  std::string folder;
  if (!NarrowCp932(TempFolderW(), &folder) || folder.empty() || folder.size() >= kPathBuffer) return std::string();
  return AddBackslash(folder);
}

bool InstallVolumeSpace(const char* folder, VolumeSpace* space) {
  std::wstring path;
  if (!WidenCp932(folder, &path) || path.empty()) return false;
  // The folder is made only after this: its volume is its nearest existing parent's.
  for (int level = 0; GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++level) {
    path = ParentFolderW(path);
    if (path.empty() || level == kMaxFolderLevels) return false;
  }
  if (path.back() == L':') path += L'\\';  // "X:" alone is the current folder of drive X
  wchar_t root[MAX_PATH];
  DWORD sectors = 0, sector_bytes = 0, free_clusters = 0, clusters = 0;
  ULARGE_INTEGER free_to_caller;
  if (!GetVolumePathNameW(path.c_str(), root, MAX_PATH) ||
      !GetDiskFreeSpaceW(root, &sectors, &sector_bytes, &free_clusters, &clusters) ||
      !GetDiskFreeSpaceExW(root, &free_to_caller, nullptr, nullptr)) {
    return false;
  }
  space->cluster = static_cast<std::uint64_t>(sectors) * sector_bytes;
  space->free_to_caller = free_to_caller.QuadPart;
  return true;
}

int CreateInstallFolder(const char* folder, std::vector<std::string>* made) {
  std::string path(folder);
  if (path.size() <= 2 || path.size() > kPathMaxText) return 1;
  // C:\ keeps its separator; C:\Games\ loses it, ソ\ never had one of its own.
  const std::size_t n = path.size();
  if (path[n - 1] == '\\' && !IsLeadByte(static_cast<unsigned char>(path[n - 2])) &&
      path[n - 2] != ':') {
    path.pop_back();
  }

  // Kept in UTF-16: the folder it was started in may have no CP932 form.
  wchar_t saved[MAX_PATH] = L"";
  if (GetCurrentDirectoryW(MAX_PATH, saved) >= MAX_PATH) saved[0] = L'\0';
  int result = 0;
  // Entering a level is the existence test, so the current directory wanders meanwhile.
  for (int level = 1; level <= kMaxFolderLevels; ++level) {
    const std::string prefix = FolderPrefix(path, level);
    if (!SetCurrentDirectoryCp932(prefix.c_str())) {
      if (!CreateDirectoryCp932(prefix.c_str(), nullptr)) {
        result = 1;
        break;
      }
      if (made) made->push_back(prefix);
    }
    if (prefix == path) break;
  }
  if (saved[0] != L'\0') SetCurrentDirectoryW(saved);
  return result;
}

int TestFolderWritable(const char* folder) {
  std::string name(folder);
  AddBackslash(name) += "UserAccountCheck.id";
  if (name.size() > kPathMaxText) return 1;
  {
    // As the C runtime's "wb" would, but with the name in CP932 whatever the system's code page.
    const FileHandle file(CreateFileCp932(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) return 1;
  }
  DeleteFileCp932(name.c_str());
  return 0;
}

void GrantEveryoneFullAccess(const char* folder) {
  // Nothing here is reported: on failure the folder keeps its access list.
  if (std::strlen(folder) > kPathMaxText) return;
  std::wstring path;
  std::wstring sddl;
  if (!WidenCp932(folder, &path) || !WidenCp932(EveryoneFullAccessSddl(), &sddl)) return;
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &made, nullptr)) return;
  const LocalMemory descriptor(made);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL list = nullptr;
  if (GetSecurityDescriptorDacl(descriptor.get(), &present, &list, &defaulted) && present && list) {
    SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, list, nullptr);
  }

  // The install sequence has always gone on from the temporary folder; everything up to
  // entering the install folder works with absolute paths.
  const std::wstring temp = TempFolderW();
  if (!temp.empty()) SetCurrentDirectoryW(temp.c_str());
}
