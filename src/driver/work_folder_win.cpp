#include "driver/work_folder_win.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/cp932.h"

namespace {

char g_saved_directory[kPathBuffer] = "";
std::string g_work_folder;

// The one file search of the process: a new start closes any search still open.
HANDLE g_find = INVALID_HANDLE_VALUE;
std::string g_find_folder;  // drive and folder of the pattern, with its separator

void CloseFind() {
  if (g_find != INVALID_HANDLE_VALUE) FindClose(g_find);
  g_find = INVALID_HANDLE_VALUE;
}

int StartFind(const char* pattern, WIN32_FIND_DATAA* data) {
  CloseFind();
  const std::string_view p(pattern);
  const std::size_t slash = FindLastCharMb(p, '\\');
  const std::size_t colon = FindLastCharMb(p, ':');
  std::size_t cut = 0;
  if (slash != std::string_view::npos) cut = slash + 1;
  if (colon != std::string_view::npos && colon + 1 > cut) cut = colon + 1;
  g_find_folder.assign(p.substr(0, cut));
  g_find = FindFirstFileA(pattern, data);
  return g_find == INVALID_HANDLE_VALUE ? 1 : 0;
}

// Next match that is not a directory, as folder + name; false when exhausted.
bool NextFile(WIN32_FIND_DATAA* data, bool first, std::string* path) {
  if (g_find == INVALID_HANDLE_VALUE) return false;
  bool have = first;
  for (;;) {
    if (!have && !FindNextFileA(g_find, data)) {
      CloseFind();
      return false;
    }
    have = false;
    if (!(data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      *path = g_find_folder + data->cFileName;
      return true;
    }
  }
}

}  // namespace

void CreateWorkFolder() {
  GetCurrentDirectoryA(kPathMaxText, g_saved_directory);
  char name[128];
  // Milliseconds since the system started, as a signed 32-bit number: from kernel32, since
  // the multimedia timer's DLL is no known DLL and would be loaded from beside the program.
  std::snprintf(name, sizeof name, "TempRVInstallFolder_%09d", static_cast<int>(GetTickCount()));
  char temp[kPathBuffer] = "";
  const DWORD n = GetTempPathA(kPathMaxText, temp);
  if (n == 0 || n >= kPathMaxText) temp[0] = '\0';  // too long: the folder is not created
  std::string folder(temp);
  if (!folder.empty()) {
    AddBackslash(folder);
    folder += name;
  }
  g_work_folder = folder;
  if (folder.empty()) return;
  CreateDirectoryA(folder.c_str(), nullptr);
  SetCurrentDirectoryA(folder.c_str());
}

void RemoveWorkFolder() {
  SetCurrentDirectoryA(g_saved_directory);
  if (g_work_folder.empty()) return;
  DeleteMatchingFiles(g_work_folder.c_str(), "*.*");
  RemoveDirectoryA(g_work_folder.c_str());
}

const char* WorkFolderPath() { return g_work_folder.c_str(); }

const char* StartupDirectory() { return g_saved_directory; }

void DeleteMatchingFiles(const char* folder, const char* pattern) {
  char saved[kPathBuffer] = "";
  GetCurrentDirectoryA(sizeof saved, saved);
  if (SetCurrentDirectoryA(folder)) {
    WIN32_FIND_DATAA data;
    std::string path;
    bool first = StartFind(pattern, &data) == 0;
    while (NextFile(&data, first, &path)) {
      first = false;
      DeleteFileA(path.c_str());
    }
  }
  SetCurrentDirectoryA(saved);
}
