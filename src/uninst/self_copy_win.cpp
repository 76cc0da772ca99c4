#include "uninst/self_copy_win.h"

#include <windows.h>

#include <cstdio>

#include "common/cp932.h"
#include "common/message_win.h"
#include "system/folder_checks_win.h"
#include "system/folder_rules.h"
#include "uninst/hand_over.h"

namespace {

constexpr DWORD kWaitForOriginalMs = 30000;

std::string ProgramPath() {
  char path[kPathBuffer] = "";
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return n == 0 || n >= sizeof path ? std::string() : std::string(path, n);
}

}  // namespace

bool StartTemporaryCopy(const std::string& install_folder) {
  const std::string self = ProgramPath();
  const std::string temp = TempFolder();
  if (self.empty() || temp.empty()) return false;
  const std::string copy = temp + TemporaryCopyName(GetCurrentProcessId());
  if (copy.size() > kPathMaxText || !CopyFileA(self.c_str(), copy.c_str(), FALSE)) return false;

  std::string command = "\"" + copy + "\" " + FormatHandOverArguments({GetCurrentProcessId(), install_folder});
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, temp.c_str(), &startup, &process)) {
    DeleteFileA(copy.c_str());
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
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
  if (self.empty()) return;
  MoveFileExA(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  const std::string batch = ReplaceExtension(self, "bat");
  if (batch.size() > kPathMaxText) return;
  std::FILE* file = std::fopen(batch.c_str(), "wt");
  if (!file) return;
  const std::string text = SelfDeletingBatchText(self, batch);
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) return;
  LaunchHidden(("\"" + batch + "\"").c_str(), IDLE_PRIORITY_CLASS);
}
