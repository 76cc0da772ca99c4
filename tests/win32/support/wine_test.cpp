#include "support/wine_test.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace wt {

std::string WinPath(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

namespace {
std::string EnvPath(const char* name) {
  const char* value = std::getenv(name);
  return value ? WinPath(value) : std::string();
}
}  // namespace

std::string BinDir() { return EnvPath("PV_BIN_DIR"); }
std::string SourceDir() { return EnvPath("PV_SOURCE_DIR"); }

std::string TempDir() {
  char buffer[MAX_PATH] = "";
  GetTempPathA(sizeof buffer, buffer);
  std::string dir(buffer);
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool MakeDirs(const std::string& path) {
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') {
      const std::string level = path.substr(0, i);
      if (!DirectoryExists(level) && !CreateDirectoryA(level.c_str(), nullptr)) return false;
    }
  }
  return true;
}

void RemoveTree(const std::string& path) {
  for (const std::string& name : ListNames(path, "*")) {
    if (name == "." || name == "..") continue;
    const std::string child = path + "\\" + name;
    if (DirectoryExists(child)) {
      RemoveTree(child);
    } else {
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(child.c_str());
    }
  }
  RemoveDirectoryA(path.c_str());
}

std::vector<std::string> ListNames(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\" + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(data.cFileName);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return names;
}

Process Start(const std::string& exe, const std::string& directory) {
  std::string dir = directory;
  if (dir.empty()) dir = exe.substr(0, exe.find_last_of('\\'));
  std::string command = "\"" + exe + "\"";
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  std::memset(&info, 0, sizeof info);
  Process process;
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
                     &info)) {
    CloseHandle(info.hThread);
    process.handle = info.hProcess;
    process.id = info.dwProcessId;
  }
  return process;
}

bool WaitExit(Process& process, DWORD timeout_ms, DWORD* code) {
  if (!process.handle) return false;
  if (WaitForSingleObject(process.handle, timeout_ms) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(process.handle, code);
  CloseHandle(process.handle);
  process.handle = nullptr;
  return true;
}

void Kill(Process& process) {
  if (!process.handle) return;
  TerminateProcess(process.handle, 99);
  WaitForSingleObject(process.handle, 5000);
  CloseHandle(process.handle);
  process.handle = nullptr;
}

HWND WaitFor(const std::function<HWND()>& find, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND window = find()) return window;
    if (GetTickCount() - start > timeout_ms) return nullptr;
    Sleep(50);
  }
}

namespace {

struct Search {
  DWORD process_id;
  std::function<bool(HWND)> match;
  HWND found;
};

BOOL CALLBACK EnumTop(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if ((search->process_id == kAnyProcess || owner == search->process_id) && IsWindowVisible(window) && search->match(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND FindTop(DWORD process_id, std::function<bool(HWND)> match) {
  Search search{process_id, std::move(match), nullptr};
  EnumWindows(EnumTop, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindTopWindow(DWORD process_id, const std::string& title) {
  return FindTop(process_id, [&](HWND w) { return Text(w) == title; });
}

HWND FindMessageBox(DWORD process_id) {
  return FindTop(process_id,
                 [](HWND w) { return ClassOf(w) == "#32770" && GetDlgItem(w, 0xFFFF) != nullptr; });
}

HWND FindDialog(DWORD process_id, const std::string& title) {
  return FindTop(process_id, [&](HWND w) { return ClassOf(w) == "#32770" && Text(w) == title; });
}

std::string Text(HWND window) {
  char buffer[2048] = "";
  // WM_GETTEXT works across processes, where GetWindowText of a control would not.
  SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

std::string ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control ? Text(control) : std::string();
}

std::string ClassOf(HWND window) {
  char buffer[256] = "";
  GetClassNameA(window, buffer, sizeof buffer);
  return buffer;
}

std::string MessageBoxText(HWND box) { return ControlText(box, 0xFFFF); }

void Press(HWND dialog, int id) {
  if (HWND control = GetDlgItem(dialog, id)) {
    PostMessageA(control, BM_CLICK, 0, 0);
  } else {
    PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0);
  }
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

void SetClipboardText(const std::string& text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
    CloseClipboard();
  } else {
    GlobalFree(block);
  }
}

}  // namespace wt
