#include "uninst/self_copy_win.h"

#include <windows.h>


#include "common/cp932.h"
#include "common/message_win.h"
#include "system/folder_checks_win.h"
#include "system/folder_rules.h"
#include "system/protected_copy_win.h"
#include "common/wide_win.h"
#include "uninst/hand_over.h"

namespace {

constexpr DWORD kWaitForOriginalMs = 30000;
constexpr char kCopyFolderPrefix[] = "PvUnInst_";

std::string ProgramPath() {
  wchar_t path[kPathBuffer] = L"";
  const DWORD n = GetModuleFileNameW(nullptr, path, kPathBuffer);
  std::string narrow;
  if (n == 0 || n >= kPathBuffer || !NarrowCp932(std::wstring(path, n), &narrow)) return std::string();
  return narrow;
}

std::string SystemFolder() {
  wchar_t path[kPathBuffer] = L"";
  const UINT n = GetSystemDirectoryW(path, kPathBuffer);
  std::string narrow;
  if (n == 0 || n >= kPathBuffer || !NarrowCp932(std::wstring(path, n), &narrow)) return std::string();
  return narrow;
}

// Starts `command` hidden or not, with `directory` as its current folder; the program is named
// by its full path in `application`, never searched for.
bool Run(const std::string& application, const std::string& command, const std::string& directory, bool hidden,
         DWORD priority) {
  std::wstring wide_application, wide_command, wide_directory;
  if (!WidenCp932(application, &wide_application) || !WidenCp932(command, &wide_command) ||
      !WidenCp932(directory, &wide_directory)) {
    return false;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(wide_application.c_str(), &wide_command[0], nullptr, nullptr, FALSE, priority, nullptr,
                      wide_directory.c_str(), &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::string FolderOf(const std::string& path) {
  const std::size_t last = FindLastCharMb(path, '\\');
  return last == std::string::npos ? std::string() : path.substr(0, last);
}

}  // namespace

bool StartTemporaryCopy(const std::string& records_folder) {
  const std::string self = ProgramPath();
  std::string temp = TempFolder();
  if (self.empty() || temp.empty()) return false;
  StripBackslash(temp);
  // A fresh folder no one else may enter: the shared temporary folder is everyone's.
  std::string folder;
  if (!CreateFreshFolder(temp, kCopyFolderPrefix, kPrivateFolderSddl, &folder)) return false;
  const std::string copy = folder + '\\' + TemporaryCopyName(GetCurrentProcessId());
  std::wstring wide_self, wide_copy, wide_folder;
  if (copy.size() > kPathMaxText || !WidenCp932(self, &wide_self) || !WidenCp932(copy, &wide_copy) ||
      !WidenCp932(folder, &wide_folder) || !CopyFileW(wide_self.c_str(), wide_copy.c_str(), TRUE)) {
    if (WidenCp932(folder, &wide_folder)) RemoveDirectoryW(wide_folder.c_str());
    return false;
  }
  const std::string command =
      "\"" + copy + "\" " + FormatHandOverArguments({GetCurrentProcessId(), records_folder});
  if (!Run(copy, command, folder, false, 0)) {
    DeleteFileW(wide_copy.c_str());
    RemoveDirectoryW(wide_folder.c_str());
    return false;
  }
  return true;
}

void WaitForOriginal(unsigned long id) {
  HANDLE original = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (!original) return;  // already gone
  WaitForSingleObject(original, kWaitForOriginalMs);
  CloseHandle(original);
}

void DeleteSelfLater() {
  const std::string self = ProgramPath();
  const std::string system = SystemFolder();
  if (self.empty() || system.empty()) return;
  const std::string folder = FolderOf(self);
  std::wstring wide;
  if (WidenCp932(self, &wide)) MoveFileExW(wide.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  if (WidenCp932(folder, &wide)) MoveFileExW(wide.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  // Beside the folder, so that the folder can go while the batch still runs.
  const std::string batch = folder + ".bat";
  if (batch.size() > kPathMaxText || !WidenCp932(batch, &wide)) return;
  // The name is the folder's, drawn at random; an existing file by it is not ours to run.
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string text;
  for (const char c : SelfDeletingBatchText(self, batch, folder, system + "\\ping.exe")) {
    if (c == '\n') text += '\r';
    text += c;
  }
  DWORD written = 0;
  const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size();
  if (!CloseHandle(file) || !ok) return;
  // cmd.exe by its full path, in the system folder: the copy's folder must not be anyone's
  // current folder when it goes.
  const std::string cmd = system + "\\cmd.exe";
  Run(cmd, "\"" + cmd + "\" /c \"\"" + batch + "\"\"", system, true, IDLE_PRIORITY_CLASS);
}
