#include "system/folder_checks_win.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/cp932.h"
#include "common/message_win.h"
#include "system/folder_rules.h"

namespace {

// Deep enough for any path that fits a path buffer; the loop stops here whatever remains.
constexpr int kMaxFolderLevels = 998;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::string TempFolder() {
  char temp[kPathBuffer] = "";
  const DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n >= sizeof temp) return std::string();
  std::string folder(temp);
  return AddBackslash(folder);
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

  char saved[kPathBuffer] = "";
  if (GetCurrentDirectoryA(sizeof saved, saved) >= sizeof saved) saved[0] = '\0';
  int result = 0;
  // Entering a level is the existence test, so the current directory wanders meanwhile.
  for (int level = 1; level <= kMaxFolderLevels; ++level) {
    const std::string prefix = FolderPrefix(path, level);
    if (!SetCurrentDirectoryA(prefix.c_str())) {
      if (!CreateDirectoryA(prefix.c_str(), nullptr)) {
        result = 1;
        break;
      }
      if (made) made->push_back(prefix);
    }
    if (prefix == path) break;
  }
  if (saved[0] != '\0') SetCurrentDirectoryA(saved);
  return result;
}

int TestFolderWritable(const char* folder) {
  std::string name(folder);
  AddBackslash(name) += "UserAccountCheck.id";
  if (name.size() > kPathMaxText) return 1;
  {
    File file(std::fopen(name.c_str(), "wb"));
    if (!file) return 1;
  }
  DeleteFileA(name.c_str());
  return 0;
}

void GrantEveryoneFullAccess(const char* folder) {
  // Nothing here is reported: without the batch the folder keeps its access list.
  const std::string temp = TempFolder();
  if (temp.empty()) return;
  std::string batch = temp + "Panvester_fullaccess.bat";
  const std::string companion = ReplaceExtension(batch, "pif");
  if (batch.size() > kPathMaxText || companion.size() > kPathMaxText ||
      std::strlen(folder) > kPathMaxText) {
    return;
  }
  {
    File file(std::fopen(batch.c_str(), "wt"));
    if (!file) return;
    const std::string text = FullAccessBatchText(folder, companion, batch);
    std::fwrite(text.data(), 1, text.size(), file.get());
  }

  // The batch starts in the temporary folder, and the install sequence relies on
  // absolute paths until it enters the install folder.
  SetCurrentDirectoryA(temp.c_str());

  LaunchHidden(batch.c_str(), IDLE_PRIORITY_CLASS);
}
