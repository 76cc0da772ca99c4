#include "uninst/installation_win.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <iterator>

#include "archive/entry_names.h"
#include "archive/install_list.h"
#include "common/cp932.h"
#include "common/message_win.h"
#include "common/setup_names.h"
#include "settings/section_lists_win.h"
#include "settings/setting_list.h"
#include "system/folder_checks_win.h"
#include "system/shortcuts_win.h"

namespace {

// The user's and the system's well-known folders: never deleted, nor searched by a wildcard.
constexpr int kProtectedCsidls[] = {
    CSIDL_PROGRAM_FILES,     CSIDL_PROGRAM_FILESX86,  CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
    CSIDL_APPDATA,           CSIDL_LOCAL_APPDATA,     CSIDL_COMMON_APPDATA,       CSIDL_PROFILE,
    CSIDL_PERSONAL,          CSIDL_COMMON_DOCUMENTS,  CSIDL_DESKTOPDIRECTORY,     CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_STARTMENU,         CSIDL_COMMON_STARTMENU,  CSIDL_PROGRAMS,             CSIDL_COMMON_PROGRAMS,
    CSIDL_STARTUP,           CSIDL_COMMON_STARTUP,    CSIDL_MYMUSIC,              CSIDL_MYPICTURES,
    CSIDL_MYVIDEO,           CSIDL_FAVORITES,         CSIDL_FONTS,                CSIDL_TEMPLATES,
    CSIDL_INTERNET_CACHE,    CSIDL_COOKIES,           CSIDL_HISTORY,              CSIDL_ADMINTOOLS,
};
// Nothing inside these is touched.
constexpr int kSystemCsidls[] = {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86};

void AddFolder(std::vector<std::string>* folders, std::string folder) {
  if (folder.empty()) return;
  StripBackslash(folder);
  folders->push_back(LongFolderName(folder));
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char buffer[4096];
  text->clear();
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) text->append(buffer, n);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string LongFolderName(const std::string& folder) {
  char long_name[kPathBuffer];
  const DWORD n = GetLongPathNameA(folder.c_str(), long_name, sizeof long_name);
  if (n == 0 || n >= sizeof long_name) return folder;
  std::string result(long_name);
  return StripBackslash(result);
}

std::string ProgramFolder() {
  char path[kPathBuffer] = "";
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return std::string();
  const std::string_view view(path, n);
  const std::size_t last = FindLastCharMb(view, '\\');
  if (last == std::string_view::npos) return std::string();
  return LongFolderName(std::string(view.substr(0, last)));
}

DeleteContext SystemDeleteContext(const std::string& install_folder) {
  DeleteContext context;
  context.install_folder = install_folder;
  char path[kPathBuffer];
  for (int csidl : kProtectedCsidls) {
    path[0] = '\0';
    if (GetSpecialFolderPath(nullptr, csidl, path)) AddFolder(&context.protected_folders, path);
  }
  AddFolder(&context.protected_folders, TempFolder());
  for (int csidl : kSystemCsidls) {
    path[0] = '\0';
    if (GetSpecialFolderPath(nullptr, csidl, path)) AddFolder(&context.system_folders, path);
  }
  UINT n = GetWindowsDirectoryA(path, sizeof path);
  if (n > 0 && n < sizeof path) AddFolder(&context.system_folders, path);
  n = GetSystemDirectoryA(path, sizeof path);
  if (n > 0 && n < sizeof path) AddFolder(&context.system_folders, path);
  context.environment = [](const std::string& name, std::string* value) {
    char text[kPathBuffer];
    const DWORD length = GetEnvironmentVariableA(name.c_str(), text, sizeof text);
    if (length == 0 || length >= sizeof text) return false;
    value->assign(text, length);
    return true;
  };
  context.long_folder = [](const std::string& folder) { return LongFolderName(folder); };
  return context;
}

bool LoadInstallation(const std::string& folder, Installation* installation) {
  installation->folder = folder;
  if (folder.empty() || CheckInstallFolder(folder, SystemDeleteContext(folder)) != DeleteVerdict::kAccepted) {
    ErrorBox("[%s]はアンインストールできる場所ではありません。\nアンインストールを中止します。", folder.c_str());
    return false;
  }
  std::string settings, list_path;
  if (!JoinOutputPath(folder, kSettingsFileName, &settings) || !JoinOutputPath(folder, kInstallListName, &list_path)) {
    ErrorBox("[%s]はアンインストールできる場所ではありません。\nアンインストールを中止します。", folder.c_str());
    return false;
  }
  for (const std::string* path : {&settings, &list_path}) {
    if (!FileExists(*path)) {
      ErrorBox("アンインストールに必要なファイル[%s]が見つかりません。\nアンインストールを中止します。", path->c_str());
      return false;
    }
  }
  LoadSettingList(settings.c_str());
  ReadSectionLists(settings.c_str());

  std::string text, error;
  if (!ReadWholeFile(list_path, &text) || !ParseInstallList(text, &installation->entries, &error)) {
    ErrorBox("アンインストール情報[%s]を読み込めませんでした。\nアンインストールを中止します。", list_path.c_str());
    return false;
  }
  return true;
}
