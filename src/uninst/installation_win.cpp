#include "uninst/installation_win.h"

#include <windows.h>
#include <shlobj.h>

#include <iterator>

#include "archive/entry_names.h"
#include "archive/install_list.h"
#include "common/cp932.h"
#include "common/message_win.h"
#include "common/setup_names.h"
#include "common/wide_win.h"
#include "settings/section_lists_win.h"
#include "settings/setting_list.h"
#include "system/folder_checks_win.h"
#include "system/protected_copy_win.h"
#include "system/shortcuts_win.h"
#include "system/uninstall_records.h"
#include "uninst/no_follow_win.h"

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
// Where a line outside the install folder may reach (saved games is added by its known id).
constexpr int kDataCsidls[] = {CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA, CSIDL_PERSONAL,
                               CSIDL_COMMON_DOCUMENTS};
// A 32-bit program is shown only the "(x86)" folders by the CSIDLs; the 64-bit ones come
// from these environment values.
constexpr const wchar_t* kProtectedVariables[] = {L"ProgramW6432", L"CommonProgramW6432"};

// The saved-games folder, which has no CSIDL.
std::string SavedGamesFolder() {
  PWSTR wide = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_SavedGames, 0, nullptr, &wide)) && wide && !NarrowCp932(wide, &folder)) {
    folder.clear();
  }
  CoTaskMemFree(wide);
  return folder;
}

// A system folder with no CP932 form is left out of the lists: no CP932 path (the install
// folder, a line of the install list) can be it or lie inside it.
std::string CodePage932Folder(const std::wstring& wide) {
  std::string folder;
  if (!NarrowCp932(wide, &folder) || folder.size() >= kPathBuffer) return std::string();
  return folder;
}

std::string EnvironmentFolder(const wchar_t* name) { return CodePage932Folder(EnvironmentValueW(name)); }

void AddFolder(std::vector<std::string>* folders, std::string folder) {
  if (folder.empty()) return;
  StripBackslash(folder);
  folders->push_back(LongFolderName(folder));
}

// The records and the install list are the uninstaller's own; a game's list stays far below this.
constexpr std::uint64_t kRecordsFileLimit = 0x7FFFFFFF;

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::wstring wide;
  text->clear();
  return WidenCp932(path, &wide) && ReadFileBytesW(wide, kRecordsFileLimit, text);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesCp932(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string LongFolderName(const std::string& folder) {
  std::wstring wide;
  std::string result;
  if (!WidenCp932(folder, &wide) || !NarrowCp932(LongPathW(wide), &result) || result.size() > kPathMaxText) {
    return folder;
  }
  return StripBackslash(result);
}

std::wstring ProgramFolderW() { return LongPathW(ParentFolderW(ModuleFileNameW(nullptr))); }

std::string ProgramFolder() {
  std::string folder;
  if (!NarrowCp932(ProgramFolderW(), &folder) || folder.size() > kPathMaxText) return std::string();
  return StripBackslash(folder);
}

namespace {

// The system's folders alone: read before the settings are, which some accessors keep from
// their first call on.
DeleteContext SystemFoldersContext(const std::string& install_folder) {
  DeleteContext context;
  context.install_folder = install_folder;
  char path[kPathBuffer];
  for (int csidl : kProtectedCsidls) {
    path[0] = '\0';
    if (GetSpecialFolderPath(nullptr, csidl, path)) AddFolder(&context.protected_folders, path);
  }
  AddFolder(&context.protected_folders, TempFolder());
  for (const wchar_t* name : kProtectedVariables) AddFolder(&context.protected_folders, EnvironmentFolder(name));
  const std::string saved_games = SavedGamesFolder();
  AddFolder(&context.protected_folders, saved_games);
  AddFolder(&context.data_folders, saved_games);
  for (int csidl : kDataCsidls) {
    path[0] = '\0';
    if (GetSpecialFolderPath(nullptr, csidl, path)) AddFolder(&context.data_folders, path);
  }
  for (int csidl : kSystemCsidls) {
    path[0] = '\0';
    if (GetSpecialFolderPath(nullptr, csidl, path)) AddFolder(&context.system_folders, path);
  }
  path[0] = '\0';
  if (GetSpecialFolderPath(nullptr, CSIDL_COMMON_APPDATA, path)) {
    std::vector<std::string> common;
    AddFolder(&common, path);
    if (!common.empty()) context.common_data_folder = common.front();
  }

  AddFolder(&context.system_folders, CodePage932Folder(WindowsFolderW()));
  AddFolder(&context.system_folders, CodePage932Folder(SystemFolderW()));
  context.environment = [](const std::string& name, std::string* value) {
    std::wstring wide_name;
    if (!WidenCp932(name, &wide_name)) return false;
    *value = EnvironmentFolder(wide_name.c_str());
    return !value->empty();
  };
  context.long_folder = [](const std::string& folder) { return LongFolderName(folder); };
  return context;
}

}  // namespace

DeleteContext SystemDeleteContext(const std::string& install_folder) {
  DeleteContext context = SystemFoldersContext(install_folder);
  // The folders a maker's line may name in the common application data; "-" is no key.
  for (const char* name : {SettingInstGroup(), SettingRegGlobal(), SettingRegLocal(), SettingTitleBar(),
                           SettingInstTo()}) {
    if (name && name[0] != '\0' && std::string(name) != "-") context.title_names.emplace_back(name);
  }
  return context;
}

bool LoadInstallation(const std::string& records_folder, Installation* installation) {
  installation->records_folder = records_folder;
  // Started anywhere else (the copy left in the install folder, say), it reads nothing there.
  if (!IsRecordsFolder(records_folder)) {
    // Started from a folder with no CP932 form, it still names the folder.
    const std::string shown = records_folder.empty() ? ShownCp932(ProgramFolderW()) : records_folder;
    ErrorBox("[%s]はアンインストールできる場所ではありません。\nアンインストールを中止します。", shown.c_str());
    return false;
  }
  const std::string base = records_folder + '\\';
  const std::string records_path = base + kRecordsFileName;
  const std::string settings = base + kSettingsFileName;
  const std::string list_path = base + kInstallListName;
  for (const std::string* path : {&records_path, &settings, &list_path}) {
    if (path->size() > kPathMaxText || !FileExists(*path)) {
      ErrorBox("アンインストールに必要なファイル[%s]が見つかりません。\nアンインストールを中止します。", path->c_str());
      return false;
    }
  }
  std::string text, error;
  UninstallRecords records;
  if (!ReadWholeFile(records_path, &text) || !ParseUninstallRecords(text, &records)) {
    ErrorBox("アンインストール情報[%s]を読み込めませんでした。\nアンインストールを中止します。", records_path.c_str());
    return false;
  }
  installation->folder = LongFolderName(records.install_folder);
  installation->made_folders = records.made_folders;
  const std::string& folder = installation->folder;
  if (CheckInstallFolder(folder, SystemFoldersContext(folder)) != DeleteVerdict::kAccepted) {
    ErrorBox("[%s]はアンインストールできる場所ではありません。\nアンインストールを中止します。", folder.c_str());
    return false;
  }
  LoadSettingList(settings.c_str());
  ReadSectionLists(settings.c_str());

  if (!ReadWholeFile(list_path, &text) || !ParseInstallList(text, &installation->entries, &error)) {
    ErrorBox("アンインストール情報[%s]を読み込めませんでした。\nアンインストールを中止します。", list_path.c_str());
    return false;
  }
  return true;
}
