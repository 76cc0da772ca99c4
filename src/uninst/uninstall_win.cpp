#include "uninst/uninstall_win.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <set>

#include "common/cp932.h"
#include "common/message_win.h"
#include "common/resource_ids.h"
#include "settings/section_lists.h"
#include "settings/setting_list.h"
#include "system/registry_win.h"
#include "system/shortcuts_win.h"
#include "uninst/removal_plan.h"

namespace {

constexpr int kProgressBar = IDC_FILE_BAR;
constexpr int kCurrentPath = IDC_FILE_NAME;

HWND g_window = nullptr;

INT_PTR CALLBACK UninstallWindowProc(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(window);
      return TRUE;
    case WM_CLOSE:
      return TRUE;  // the removal runs to its end
    default:
      return FALSE;
  }
}

// The bar counts the listed files, the [delfiles] lines and the three closing steps.
class Progress {
 public:
  explicit Progress(int steps) {
    SendDlgItemMessageA(g_window, kProgressBar, PBM_SETRANGE32, 0, steps > 0 ? steps : 1);
    ShowWindow(g_window, SW_SHOW);
    PumpMessages();
  }
  void Step(const std::string& what) {
    SendDlgItemMessageA(g_window, kProgressBar, PBM_SETPOS, static_cast<WPARAM>(++done_), 0);
    Show(what);
  }
  void Show(const std::string& what) {
    SetDlgItemTextA(g_window, kCurrentPath, what.c_str());
    PumpMessages();
  }

 private:
  int done_ = 0;
};

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class Removal {
 public:
  explicit Removal(const DeleteContext& context) : context_(context) {}

  // Deletes one file; what is already gone counts as deleted. A file that stays (in use,
  // access denied) is offered again until the player skips it.
  void DeleteOneFile(const std::string& path) {
    bool attributes_cleared = false;
    for (;;) {
      if (DeleteFileA(path.c_str())) return;
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
      const DWORD attributes = GetFileAttributesA(path.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
      if ((attributes & FILE_ATTRIBUTE_READONLY) && !attributes_cleared) {
        attributes_cleared = true;
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        continue;
      }
      if (!RetrySkipBox("[%s]を削除できませんでした。\nファイルが使用中の可能性があります。"
                        "使用しているプログラムを終了してから[再試行]を押してください。\n"
                        "[キャンセル]を押すと、このファイルを残して続けます。",
                        path.c_str())) {
        failed_.push_back(path);
        return;
      }
    }
  }

  // The files an accepted line reaches now: the file it names, or the wildcard's matches.
  std::vector<std::string> FilesOf(const DeleteTarget& target) const {
    std::vector<std::string> files;
    if (!target.wildcard) {
      if (IsFile(target.Path())) files.push_back(target.Path());
      return files;
    }
    WIN32_FIND_DATAA data;
    // Every name of the folder, matched here: the system's own search would also match
    // short 8.3 names ("*.htm" finding "page.html").
    HANDLE find = FindFirstFileA((target.folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      if (!MatchesWildcard(target.leaf, data.cFileName)) continue;
      const std::string path = target.folder + '\\' + data.cFileName;
      if (path.size() <= kPathMaxText) files.push_back(path);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return files;
  }

  void NoteFolders(const DeleteTarget& target) {
    const std::vector<std::string> more = FoldersOfTarget(target, context_);
    folders_.insert(folders_.end(), more.begin(), more.end());
    // A line may name a folder of its own: it goes as well, once it is empty.
    if (!target.wildcard && IsFolder(target.Path())) folders_.push_back(target.Path());
  }
  void NoteFolders(const std::vector<std::string>& folders) {
    folders_.insert(folders_.end(), folders.begin(), folders.end());
  }

  // Every candidate folder that is empty by now, deepest first and the install folder last.
  // Returns the outermost of those still there inside the install folder.
  std::vector<std::string> RemoveFolders() {
    std::vector<std::string> kept;
    for (const std::string& folder : OrderFoldersForRemoval(folders_, context_)) {
      if (RemoveDirectoryA(folder.c_str()) || !IsFolder(folder)) continue;
      if (IsSameOrInside(folder, context_.install_folder)) kept.push_back(folder);
    }
    return OutermostFolders(kept);
  }

  const std::vector<std::string>& failed() const { return failed_; }

 private:
  const DeleteContext& context_;
  std::vector<std::string> failed_;
  std::vector<std::string> folders_;
};

std::vector<DeleteTarget> ResolveSection(Section section, const DeleteContext& context) {
  std::vector<DeleteTarget> targets;
  for (const SectionLine* line = SectionListHead(section); line; line = line->next) {
    const DeleteTarget target = ResolveDeleteLine(line->text, context);
    // Refused lines are the distribution's mistake; the player can do nothing about them.
    if (target.verdict == DeleteVerdict::kAccepted) targets.push_back(target);
  }
  return targets;
}

int CountLines(Section section) {
  int n = 0;
  for (const SectionLine* line = SectionListHead(section); line; line = line->next) ++n;
  return n;
}

}  // namespace

std::string UninstallTitle() {
  char title[kStartupTitleBuffer];
  std::snprintf(title, sizeof title, "%s アンインストール", SettingTitleBar());
  return title;
}

void CreateUninstallWindow() {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  g_window = CreateDialogParamA(GetModuleHandleA(nullptr), "UNINSTALLING", nullptr, UninstallWindowProc, 0);
  SetMainWindowHandle(g_window);
}

void SetUninstallWindowTitle(const std::string& title) {
  if (g_window) SetWindowTextA(g_window, title.c_str());
}

int RunUninstall(const Installation& installation) {
  const DeleteContext context = SystemDeleteContext(installation.folder);
  Removal removal(context);
  ListedPaths listed;
  ListedPathsIn(installation.folder, installation.entries, &listed);  // every name fitted at install time
  Progress progress(static_cast<int>(listed.files.size()) + CountLines(kSectionDelFiles) + 3);

  // The player's data (saves, settings) goes only on a Yes. That includes a file the game
  // shipped and then wrote the player's progress into: listed, but user data all the same.
  const std::vector<DeleteTarget> user_targets = ResolveSection(kSectionDelFilesUser, context);
  std::vector<std::string> user_files;
  std::set<std::string> user_keys;
  for (const DeleteTarget& target : user_targets) {
    for (const std::string& file : removal.FilesOf(target)) {
      if (user_keys.insert(LowerMb(file)).second) user_files.push_back(file);
    }
  }

  for (const std::string& file : listed.files) {
    progress.Step(file);
    if (!user_keys.count(LowerMb(file))) removal.DeleteOneFile(file);
  }
  removal.NoteFolders(listed.folders);

  for (const DeleteTarget& target : ResolveSection(kSectionDelFiles, context)) {
    progress.Step(target.Path());
    for (const std::string& file : removal.FilesOf(target)) {
      if (!user_keys.count(LowerMb(file))) removal.DeleteOneFile(file);
    }
    removal.NoteFolders(target);
  }

  progress.Step("");
  // Asked only when there is something to lose.
  if (!user_files.empty() &&
      YesNoBox("セーブデータなどのユーザーデータも削除しますか？\n[いいえ]を選ぶと、ユーザーデータは残ります。")) {
    for (const std::string& file : user_files) {
      progress.Show(file);
      removal.DeleteOneFile(file);
    }
    for (const DeleteTarget& target : user_targets) removal.NoteFolders(target);
  }

  progress.Step("");
  RemoveShortcuts(installation.folder.c_str());
  RemoveUninstallEntry();
  SetInstallFolderPointer(installation.folder.c_str());
  char key[kSplitBuffer];
  char value[kSplitBuffer];
  RemoveIniEntries(key, value);
  RemoveUserKey(key, value);
  RemoveMachineTestKey();

  progress.Step("");
  const std::vector<std::string> kept = removal.RemoveFolders();
  ShowWindow(g_window, SW_HIDE);
  if (removal.failed().empty() && kept.empty()) {
    InfoBox("アンインストールが完了しました。");
  } else {
    ErrorBox("%s", FormatUninstallReport(removal.failed(), kept, kMessageBuffer - 1).c_str());
  }
  DestroyWindow(g_window);
  g_window = nullptr;
  SetMainWindowHandle(nullptr);
  return 0;
}
