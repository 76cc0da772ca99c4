#include "driver/work_folder_win.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/cp932.h"
#include "common/wide_win.h"

namespace {

// In UTF-16: the temporary folder and the folder the program was started in may have no
// CP932 form (a user name with "é").
std::wstring g_saved_directory;
std::wstring g_work_folder;
// What the walk and the settings reader are given: the CP932 form of the work folder, or "."
// when it has none; between its creation and removal the work folder is the current directory.
std::string g_work_folder_text;

constexpr char kCurrentFolder[] = ".";

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
  char name[128];
  // Milliseconds since the system started, as a signed 32-bit number: from kernel32, since
  // the multimedia timer's DLL is no known DLL and would be loaded from beside the program.
  std::snprintf(name, sizeof name, "TempRVInstallFolder_%09d", static_cast<int>(GetTickCount()));
  std::wstring folder = TempFolderW();
  // Too long for a path buffer: the folder is not created.
  if (folder.size() >= kPathMaxText) folder.clear();
  if (!folder.empty()) {
    if (folder.back() != L'\\') folder += L'\\';
    AppendCp932(&folder, name);
  }
  g_work_folder = folder;
  g_work_folder_text.clear();
  if (folder.empty()) return;
  if (!NarrowCp932(folder, &g_work_folder_text)) g_work_folder_text = kCurrentFolder;
  CreateDirectoryW(folder.c_str(), nullptr);
  SetCurrentDirectoryW(folder.c_str());
}

void RemoveWorkFolder() {
  if (!g_saved_directory.empty()) SetCurrentDirectoryW(g_saved_directory.c_str());
  if (g_work_folder.empty()) return;
  DeleteMatchingFilesW(g_work_folder, L"*.*");
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
