#include "uninst/self_copy_win.h"

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include "common/cp932.h"
#include "common/message_win.h"
#include "common/wide_win.h"
#include "system/folder_checks_win.h"
#include "system/folder_rules.h"
#include "system/handle_path_win.h"
#include "system/protected_copy_win.h"
#include "system/uninstall_records.h"
#include "uninst/hand_over.h"

namespace {

constexpr DWORD kWaitForOriginalMs = 30000;
// The batch's own access list: administrators and SYSTEM alone, nothing inherited.
constexpr wchar_t kPrivateFileSddl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// Starts `command` hidden or not, with `directory` as its current folder; the program is named
// by its full path in `application`, never searched for. In UTF-16: the copy lives in the
// common application-data folder, which may have no CP932 form.
bool Run(const std::wstring& application, std::wstring command, const std::wstring& directory, bool hidden,
         DWORD priority) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), &command[0], nullptr, nullptr, FALSE, priority, nullptr,
                      directory.c_str(), &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }


}  // namespace

bool StartTemporaryCopy(const std::string& records_folder) {
  const std::wstring self = ModuleFileNameW(nullptr);
  std::wstring parent = SpecialFolderW(nullptr, CSIDL_COMMON_APPDATA);
  if (self.empty() || parent.empty()) return false;
  if (parent.back() == L'\\') parent.pop_back();
  // Not the user's temporary folder: an unelevated process of the user may rename a fresh
  // folder away there and put its own in its place. In the common application data a folder
  // only administrators may write cannot be renamed by anyone else, and it is held from here
  // until the copy runs.
  std::wstring folder;
  if (!CreateFreshFolderW(parent, kHandOverFolderPrefix, kPrivateFolderSddl, &folder)) return false;
  const FileHandle held(OpenFolderItself(folder, FILE_LIST_DIRECTORY));
  std::wstring copy = folder + L'\\';
  std::wstring command;
  if (!held.ok() || !AppendCp932(&copy, TemporaryCopyName(GetCurrentProcessId())) || copy.size() > kPathMaxText ||
      !AppendCp932(&command, FormatHandOverArguments({GetCurrentProcessId(), records_folder})) ||
      !CopyFileW(self.c_str(), copy.c_str(), TRUE)) {
    RemoveDirectoryW(folder.c_str());
    return false;
  }
  if (!HandleIsAt(held.get(), folder) || !Run(copy, Quoted(copy) + L' ' + command, folder, false, 0)) {
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
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
  const std::wstring self = ModuleFileNameW(nullptr);
  const std::wstring system = SystemFolderW();
  const std::wstring folder = ParentFolderW(self);
  if (self.empty() || system.empty() || folder.empty()) return;
  MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  // Beside the folder, so that the folder can go while the batch still runs.
  const std::wstring batch = folder + L".bat";
  const std::wstring pinger = system + L"\\ping.exe";
  // cmd.exe reads a batch file in the console's code page, so its paths are written in that.
  // A common application-data folder that code page cannot spell ("é" on a Japanese system)
  // is the batch's current folder instead, and the copy is named relative to it. Never the
  // program searched for there: the pinger keeps its full path in the system folder.
  std::wstring batch_folder = system;
  std::string self_text, batch_text, folder_text, pinger_text;
  if (batch.size() > kPathMaxText || !NarrowConsoleCodePage(pinger, &pinger_text)) return;
  if (!NarrowConsoleCodePage(self, &self_text) || !NarrowConsoleCodePage(batch, &batch_text) ||
      !NarrowConsoleCodePage(folder, &folder_text)) {
    batch_folder = ParentFolderW(folder);
    const std::size_t leaf = batch_folder.size() + 1;
    if (batch_folder.empty() || !NarrowConsoleCodePage(self.substr(leaf), &self_text) ||
        !NarrowConsoleCodePage(batch.substr(leaf), &batch_text) ||
        !NarrowConsoleCodePage(folder.substr(leaf), &folder_text)) {
      return;
    }
  }
  std::string text;
  for (const char c : SelfDeletingBatchText(self_text, batch_text, folder_text, pinger_text)) {
    if (c == '\n') text += '\r';
    text += c;
  }
  bool ok = false;
  {
    // The name is the folder's, drawn at random; an existing file by it is not ours to run.
    // The elevated cmd.exe reads it line by line: no one else may write it, or replace it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivateFileSddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
      return;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const FileHandle file(
        CreateFileW(batch.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    LocalFree(descriptor);
    if (!file.ok()) return;
    DWORD written = 0;
    ok = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
  }  // closed before cmd.exe opens it
  if (!ok) return;
  // cmd.exe by its full path; the copy's folder must not be anyone's current folder when it goes.
  const std::wstring cmd = system + L"\\cmd.exe";
  Run(cmd, Quoted(cmd) + L" /c \"" + Quoted(batch) + L"\"", batch_folder, true, IDLE_PRIORITY_CLASS);
}
