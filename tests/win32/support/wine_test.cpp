#include "support/wine_test.h"

#include <winioctl.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/wide_win.h"

namespace wt {

std::string Cp932(const std::wstring& wide) {
  std::string text;
  return NarrowCp932(wide, &text) ? text : kNoCp932Form;
}

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  WidenCp932(text, &wide);
  return wide;
}

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

// Paths and texts are CP932 and reach the system through the wide calls, so the helpers work
// the same on any system language.
std::string TempDir() {
  std::string dir;
  if (!NarrowCp932(TempFolderW(), &dir)) return std::string();
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesCp932(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesCp932(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  const FileHandle file(CreateFileCp932(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  if (!file.ok()) return bytes;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  return bytes;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  const FileHandle file(CreateFileCp932(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file.ok() && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool MakeDirs(const std::string& path) {
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') {
      const std::string level = path.substr(0, i);
      if (!DirectoryExists(level) && !CreateDirectoryCp932(level.c_str(), nullptr)) return false;
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
      std::wstring wide;
      if (WidenCp932(child, &wide)) SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileCp932(child.c_str());
    }
  }
  RemoveDirectoryCp932(path.c_str());
}

std::vector<std::string> ListNames(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> names;
  std::wstring query;
  if (!WidenCp932(folder + "\\" + pattern, &query)) return names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(query.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name;
    names.push_back(NarrowCp932(data.cFileName, &name) ? name : kNoCp932Form);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

Process Start(const std::string& exe, const std::string& directory, const std::string& arguments) {
  std::wstring wide_exe, wide_dir, wide_arguments;
  if (!WidenCp932(exe, &wide_exe) || !WidenCp932(directory, &wide_dir) || !WidenCp932(arguments, &wide_arguments)) {
    return Process();
  }
  return Start(wide_exe, wide_dir, wide_arguments);
}

Process Start(const std::wstring& exe, const std::wstring& directory, const std::wstring& arguments) {
  std::wstring dir = directory;
  if (dir.empty()) dir = exe.substr(0, exe.find_last_of(L'\\'));
  std::wstring command = L"\"" + exe + L"\"";
  if (!arguments.empty()) command += L" " + arguments;
  STARTUPINFOW startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  std::memset(&info, 0, sizeof info);
  Process process;
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
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
  wchar_t buffer[2048] = L"";
  // WM_GETTEXT works across processes, where GetWindowText of a control would not.
  SendMessageW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer));
  std::string text;
  return NarrowCp932(buffer, &text) ? text : kNoCp932Form;
}

std::string ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control ? Text(control) : std::string();
}

std::string ClassOf(HWND window) {
  wchar_t buffer[256] = L"";
  GetClassNameW(window, buffer, 256);
  std::string name;
  return NarrowCp932(buffer, &name) ? name : kNoCp932Form;
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

// Saves the window's pixels as read from the screen, as a 24-bit BMP.
bool SaveWindowPicture(HWND window, const std::string& path) {
  SetForegroundWindow(window);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(400);
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;  // gone before it could be pictured
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + stride * height;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), stride * height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out.good();
}

std::string UnixPath(const std::string& windows_path) {
  using UnixNameFn = char*(CDECL*)(LPCWSTR);
  const auto unix_name = reinterpret_cast<UnixNameFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unix_name) return std::string();
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, windows_path.c_str(), -1, wide, MAX_PATH)) return std::string();
  char* name = unix_name(wide);
  const std::string result = name ? name : "";
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// A Unix program started from here runs apart from this process, with no handle to wait on:
// the things it makes are awaited by their names.
namespace {

bool StartUnixProgram(const char* program, std::string command) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace

// A Unix symbolic link made from the Linux side, which Wine shows as a reparse point (as a
// junction planted by another user shows on Windows).
bool MakeUnixLink(const std::string& link, const std::string& target) {
  if (!StartUnixProgram("Z:\\bin\\ln", "/bin/ln -s \"" + UnixPath(target) + "\" \"" + UnixPath(link) + "\"")) {
    return false;
  }
  for (const DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(50)) {
    const DWORD attributes = GetFileAttributesA(link.c_str());
    // A link to a folder shows as a reparse point; one to a file shows its target's attributes.
    if (attributes != INVALID_FILE_ATTRIBUTES) return true;
  }
  return false;
}

// The status is written last, by a rename, so a status file that exists is whole.
int RunUnixScript(const std::string& script, std::string* output) {
  static int runs = 0;
  const std::string folder = TempDir() + "\\pv-unix-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++runs);
  if (!MakeDirs(folder)) return -1;
  const std::string unix_folder = UnixPath(folder);
  const std::string runner = "{\n" + script + "\n} >'" + unix_folder + "/out' 2>&1\necho $? >'" + unix_folder +
                             "/status.new'\nmv '" + unix_folder + "/status.new' '" + unix_folder + "/status'\n";
  int status = -1;
  if (!unix_folder.empty() && WriteFile(folder + "\\run.sh", runner) &&
      StartUnixProgram("Z:\\bin\\sh", "/bin/sh \"" + unix_folder + "/run.sh\"")) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(50)) {
      if (!FileExists(folder + "\\status")) continue;
      status = std::atoi(ReadFile(folder + "\\status").c_str());
      break;
    }
  }
  if (output) *output = ReadFile(folder + "\\out");
  RemoveTree(folder);
  return status;
}

// IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE of Wine's mount manager, and its request.
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(static_cast<DWORD>('m'), 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct UnixDriveRequest {
  ULONG size;
  ULONG type;
  ULONG fs_type;
  DWORD serial;
  ULONGLONG unix_dev;
  WCHAR letter;
  USHORT mount_point_offset;
  USHORT device_offset;
  USHORT label_offset;
};

bool DefineUnixDrive(char letter, const std::string& unix_folder, DWORD type) {
  HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  std::string request(sizeof(UnixDriveRequest) + unix_folder.size() + 1, '\0');
  UnixDriveRequest header{};
  header.size = static_cast<ULONG>(request.size());
  header.type = type;
  header.letter = static_cast<WCHAR>(letter);
  header.mount_point_offset = unix_folder.empty() ? 0 : sizeof(UnixDriveRequest);
  std::memcpy(&request[0], &header, sizeof header);
  std::memcpy(&request[sizeof header], unix_folder.c_str(), unix_folder.size() + 1);
  DWORD returned = 0;
  const BOOL done = DeviceIoControl(manager, kDefineUnixDrive, &request[0], static_cast<DWORD>(request.size()),
                                    nullptr, 0, &returned, nullptr);
  CloseHandle(manager);
  return done != FALSE;
}

}  // namespace wt
