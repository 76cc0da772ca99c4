#include "driver/work_folder_win.h"

#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/cp932.h"
#include "common/wide_win.h"
#include "system/handle_path_win.h"
#include "system/protected_copy_win.h"

namespace {

// In UTF-16: the temporary folder and the folder the program was started in may have no
// CP932 form (a user name with "é").
std::wstring g_saved_directory;
std::wstring g_work_folder;
// What the walk and the settings reader are given: the CP932 form of the work folder, or "."
// when it has none; between its creation and removal the work folder is the current directory.
std::string g_work_folder_text;

constexpr char kCurrentFolder[] = ".";

// Both programs run elevated and read what lies in the work folder (install.env, the title
// picture), so the folder is always one made by this run, reachable by SYSTEM and the
// administrators only, and held open without delete sharing from its creation to its
// removal: nobody can rename it away and put another of the same name in its place.
HANDLE g_work_folder_hold = INVALID_HANDLE_VALUE;

// Numbers tried, from the tick's own on, while folders of those names exist already.
constexpr int kWorkFolderTries = 32;
// The longest folder CreateDirectory makes (room for an 8.3 name inside); the system's own
// calls on the folder's files would fail beyond it.
constexpr std::size_t kFolderMaxText = MAX_PATH - 12;
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);  // STATUS_OBJECT_NAME_COLLISION


// Owns a security descriptor made from its text form.
class Descriptor {
 public:
  explicit Descriptor(const wchar_t* sddl) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor_, nullptr)) {
      descriptor_ = nullptr;
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (descriptor_) LocalFree(descriptor_);
  }
  PSECURITY_DESCRIPTOR get() const { return descriptor_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

enum class Made { kMade, kExists, kFailed };

// Creates the folder and opens it in one step, so that the handle holds the very folder made:
// CreateDirectory and a later open would leave a moment for a swap.
Made CreateHeldFolder(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor, HANDLE* hold) {
  std::wstring nt_path;
  if (path.compare(0, 2, L"\\\\") == 0) {
    nt_path = L"\\??\\UNC\\" + path.substr(2);
  } else if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
    nt_path = L"\\??\\" + path;
  } else {
    return Made::kFailed;
  }
  if (nt_path.size() * sizeof(wchar_t) >= 0xFFFF) return Made::kFailed;
  UNICODE_STRING name;
  name.Buffer = &nt_path[0];
  name.Length = static_cast<USHORT>(nt_path.size() * sizeof(wchar_t));
  name.MaximumLength = name.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, descriptor);
  IO_STATUS_BLOCK status_block;
  HANDLE handle = INVALID_HANDLE_VALUE;
  // Read access, so that the share mode counts against every later open: without
  // FILE_SHARE_DELETE no one can open the folder to rename or delete it.
  const NTSTATUS status =
      NtCreateFile(&handle, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes,
                   &status_block, nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                   FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status == kNameCollision) return Made::kExists;
  if (status < 0) return Made::kFailed;
  *hold = handle;
  return Made::kMade;
}

// The handle holds a plain folder whose path, as the system resolves it, is `path`: a link
// anywhere on the way would make it some other folder.
bool HoldsFolderAt(HANDLE hold, const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(hold, &info)) return false;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  // The temporary path may hold short names; the resolved one has the long ones.
  return HandleIsAt(hold, LongPathW(path));
}

std::wstring FullPathW(const std::wstring& path) {
  std::vector<wchar_t> buffer(32768);
  const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  return n == 0 || n >= buffer.size() ? std::wstring() : std::wstring(buffer.data(), n);
}

void ReleaseHold() {
  if (g_work_folder_hold != INVALID_HANDLE_VALUE) CloseHandle(g_work_folder_hold);
  g_work_folder_hold = INVALID_HANDLE_VALUE;
}

// A fresh folder %TEMP%\TempRVInstallFolder_<tick>, or the next free number; empty (and
// nothing held) when none could be made and held.
std::wstring MakeWorkFolder() {
  std::wstring parent = TempFolderW();
  // Too long for a path buffer: the folder is not created.
  if (parent.empty() || parent.size() >= kPathMaxText) return std::wstring();
  parent = FullPathW(parent);
  if (parent.empty()) return std::wstring();
  if (parent.back() != L'\\') parent += L'\\';
  const Descriptor descriptor(kPrivateFolderSddl);
  if (!descriptor.get()) return std::wstring();
  // Milliseconds since the system started, as a signed 32-bit number: from kernel32, since
  // the multimedia timer's DLL is no known DLL and would be loaded from beside the program.
  const DWORD tick = GetTickCount();
  for (int i = 0; i < kWorkFolderTries; ++i) {
    const std::int32_t number = static_cast<std::int32_t>(tick + static_cast<DWORD>(i));
    char name[128];
    std::snprintf(name, sizeof name, "TempRVInstallFolder_%09d", static_cast<int>(number));
    std::wstring folder = parent;
    if (!AppendCp932(&folder, name) || folder.size() > kFolderMaxText) return std::wstring();
    HANDLE hold = INVALID_HANDLE_VALUE;
    const Made made = CreateHeldFolder(folder, descriptor.get(), &hold);
    if (made == Made::kExists) continue;  // someone's folder, maybe planted: never entered
    if (made == Made::kFailed) return std::wstring();
    g_work_folder_hold = hold;
    if (HoldsFolderAt(hold, folder)) return folder;
    // Not removed by name: that name leads somewhere else. Empty and private, it can stay.
    ReleaseHold();
    return std::wstring();
  }
  return std::wstring();
}

// Owns a file search.
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (ok()) FindClose(handle_);
  }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Deletes every match of `pattern` in the current directory that is not a directory.
void DeleteMatchesHere(const std::wstring& pattern) {
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(pattern.c_str(), &data));
  if (!find.ok()) return;
  // The pattern's own folder part, if any, prefixes the names found.
  const std::size_t cut = pattern.find_last_of(L"\\:");
  const std::wstring folder = cut == std::wstring::npos ? std::wstring() : pattern.substr(0, cut + 1);
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + data.cFileName).c_str());
  } while (FindNextFileW(find.get(), &data));
}

void DeleteMatchingFilesW(const std::wstring& folder, const std::wstring& pattern) {
  const std::wstring saved = CurrentFolderW();
  if (SetCurrentDirectoryW(folder.c_str())) DeleteMatchesHere(pattern);
  if (!saved.empty()) SetCurrentDirectoryW(saved.c_str());
}

}  // namespace

void CreateWorkFolder() {
  g_saved_directory = CurrentFolderW();
  ReleaseHold();
  g_work_folder = MakeWorkFolder();
  g_work_folder_text.clear();
  if (g_work_folder.empty()) return;
  if (!NarrowCp932(g_work_folder, &g_work_folder_text)) g_work_folder_text = kCurrentFolder;
  SetCurrentDirectoryW(g_work_folder.c_str());
}

void RemoveWorkFolder() {
  if (!g_saved_directory.empty()) SetCurrentDirectoryW(g_saved_directory.c_str());
  if (g_work_folder.empty()) return;
  DeleteMatchingFilesW(g_work_folder, L"*.*");
  // Held up to here: the removal itself needs the folder unshared.
  ReleaseHold();
  RemoveDirectoryW(g_work_folder.c_str());
}

const char* WorkFolderPath() { return g_work_folder_text.c_str(); }

const std::wstring& WorkFolderW() { return g_work_folder; }

const std::wstring& StartupDirectoryW() { return g_saved_directory; }

void DeleteMatchingFiles(const char* folder, const char* pattern) {
  std::wstring wide_folder, wide_pattern;
  if (!WidenCp932(folder, &wide_folder) || !WidenCp932(pattern, &wide_pattern)) return;
  DeleteMatchingFilesW(wide_folder, wide_pattern);
}
