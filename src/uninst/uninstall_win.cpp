#include "uninst/uninstall_win.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <set>

#include "common/callback_guard_win.h"
#include "common/cp932.h"
#include "common/message_win.h"
#include "common/resource_ids.h"
#include "settings/section_lists.h"
#include "settings/setting_list.h"
#include "system/protected_copy_win.h"
#include "system/registry_win.h"
#include "system/shortcuts_win.h"
#include "uninst/no_follow_win.h"
#include "uninst/removal_plan.h"
#include "common/wide_win.h"

namespace {

constexpr int kProgressBar = IDC_FILE_BAR;
constexpr int kCurrentPath = IDC_FILE_NAME;

HWND g_window = nullptr;

INT_PTR UninstallWindowProcBody(HWND window, UINT message) {
  switch (message) {
    case WM_INITDIALOG:
      UseJapaneseDialogFont(window);
      CenterWindow(window);
      return TRUE;
    case WM_CLOSE:
      return TRUE;  // the removal runs to its end
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK UninstallWindowProc(HWND window, UINT message, WPARAM, LPARAM) {
  return GuardCallback([&] { return UninstallWindowProcBody(window, message); });
}

// The bar counts the listed files, the [delfiles] lines and the three closing steps.
class Progress {
 public:
  explicit Progress(int steps) {
    SendDlgItemMessageW(g_window, kProgressBar, PBM_SETRANGE32, 0, steps > 0 ? steps : 1);
    ShowWindow(g_window, SW_SHOW);
    PumpMessages();
  }
  void Step(const std::string& what) {
    SendDlgItemMessageW(g_window, kProgressBar, PBM_SETPOS, static_cast<WPARAM>(++done_), 0);
    Show(what);
  }
  void Show(const std::string& what) {
    SetDlgItemTextCp932(g_window, kCurrentPath, what.c_str());
    PumpMessages();
  }

 private:
  int done_ = 0;
};

class Removal {
 public:
  explicit Removal(const DeleteContext& context) : context_(context) {}

  // Deletes one file without following a link; what is already gone counts as deleted. A
  // file that stays (in use, access denied) is offered again until the player skips it.
  // `named`: the list or an exact line names this very path, so a link there goes itself.
  void DeleteOneFile(const std::string& path, bool named) {
    for (;;) {
      const NoFollowResult result = DeleteFileNoFollow(path, named);
      // Done, gone, a link left, or a folder by that name (the folder pass deals with it).
      if (NoteIfLink(result, path) || result.status != NoFollow::kFailed) return;
      if (!RetrySkipBox("[%s]を削除できませんでした。\nファイルが使用中の可能性があります。"
                        "使用しているプログラムを終了してから[再試行]を押してください。\n"
                        "[キャンセル]を押すと、このファイルを残して続けます。",
                        path.c_str())) {
        outcome_.failed_files.push_back(path);
        return;
      }
    }
  }

  // The files an accepted line reaches now: the file it names, or the wildcard's matches in
  // a folder reached through plain folders only. Links among the matches are reported.
  std::vector<std::string> FilesOf(const DeleteTarget& target) {
    std::vector<std::string> files;
    if (!target.wildcard) {
      // Only what is there: an empty list keeps the user-data question away.
      std::wstring wide;
      const DWORD attributes = WidenCp932(target.Path(), &wide) ? GetFileAttributesW(wide.c_str()) : INVALID_FILE_ATTRIBUTES;
      if (attributes != INVALID_FILE_ATTRIBUTES &&
          (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
        files.push_back(target.Path());
      }
      return files;
    }
    const NoFollowResult folder = CheckFolderNoFollow(target.folder);
    NoteIfLink(folder, target.folder);
    if (folder.status != NoFollow::kDone) return files;
    std::wstring pattern;
    if (!WidenCp932(target.folder + "\\*", &pattern)) return files;
    WIN32_FIND_DATAW data;
    // Every name of the folder, matched here: the system's own search would also match
    // short 8.3 names ("*.htm" finding "page.html").
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
      std::string name;
      if (!NarrowCp932(data.cFileName, &name)) continue;  // no CP932 form: no line can name it
      if (!MatchesWildcard(target.leaf, name)) continue;
      const std::string path = target.folder + '\\' + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        NoteLink(path);
        continue;
      }
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      if (path.size() <= kPathMaxText) files.push_back(path);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return files;
  }

  void NoteFolders(const DeleteTarget& target) {
    const std::vector<std::string> more = FoldersOfTarget(target, context_);
    folders_.insert(folders_.end(), more.begin(), more.end());
    // A line may name a folder of its own: it goes as well, once it is empty.
    if (!target.wildcard) named_folders_.push_back(target.Path());
  }
  void NoteFolders(const std::vector<std::string>& folders, bool named) {
    folders_.insert(folders_.end(), folders.begin(), folders.end());
    if (named) named_folders_.insert(named_folders_.end(), folders.begin(), folders.end());
  }

  // Every candidate folder that is empty by now, deepest first and the install folder last.
  // Notes the outermost of those still there inside the install folder.
  void RemoveFolders() {
    std::vector<std::string> candidates = folders_;
    candidates.insert(candidates.end(), named_folders_.begin(), named_folders_.end());
    std::set<std::string> named;
    for (const std::string& folder : named_folders_) named.insert(LowerMb(folder));
    std::vector<std::string> kept;
    for (const std::string& folder : OrderFoldersForRemoval(candidates, context_)) {
      const NoFollowResult result = RemoveFolderNoFollow(folder, named.count(LowerMb(folder)) != 0);
      if (NoteIfLink(result, folder) || result.status != NoFollow::kFailed) continue;
      if (IsSameOrInside(folder, context_.install_folder) && !IsProtectedFolder(folder)) kept.push_back(folder);
    }
    outcome_.kept_folders = OutermostFolders(kept);
  }

  // The folders made above the install folder, innermost first, each only once it is empty;
  // one that existed before the install was never recorded.
  void RemoveMadeFolders(const std::vector<std::string>& made) {
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
      if (!MayRemoveMadeFolder(*folder, context_)) continue;
      NoteIfLink(RemoveFolderNoFollow(*folder, false), *folder);
    }
  }

  void NoteLink(const std::string& path) {
    if (link_keys_.insert(LowerMb(path)).second) outcome_.links_left.push_back(path);
  }
  // What was left for a link, on the way or at the end (named by `where`), or for a handle
  // that held another path than `path`: named in the report. False for any other result.
  bool NoteIfLink(const NoFollowResult& result, const std::string& path) {
    if (result.status == NoFollow::kLinkLeft) {
      NoteLink(result.where);
    } else if (result.status == NoFollow::kElsewhere) {
      NoteLink(path);
    } else {
      return false;
    }
    return true;
  }
  UninstallOutcome& outcome() { return outcome_; }

 private:
  bool IsProtectedFolder(const std::string& folder) const {
    for (const std::string& p : context_.protected_folders) {
      if (LowerMb(p) == LowerMb(folder)) return true;
    }
    return false;
  }

  const DeleteContext& context_;
  UninstallOutcome outcome_;
  std::vector<std::string> folders_;
  std::vector<std::string> named_folders_;
  std::set<std::string> link_keys_;
};

std::vector<DeleteTarget> ResolveSection(Section section, const DeleteContext& context,
                                         std::vector<std::string>* refused) {
  std::vector<DeleteTarget> targets;
  for (const SectionLine* line = SectionListHead(section); line; line = line->next) {
    const DeleteTarget target = ResolveDeleteLine(line->text, context);
    if (target.verdict == DeleteVerdict::kAccepted) {
      targets.push_back(target);
    } else if (target.verdict != DeleteVerdict::kEmpty) {
      refused->push_back(line->text);
    }
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
  g_window = CreateDialogParamW(GetModuleHandleW(nullptr), L"UNINSTALLING", nullptr, UninstallWindowProc, 0);
  SetMainWindowHandle(g_window);
}

void SetUninstallWindowTitle(const std::string& title) {
  if (g_window) SetWindowTextCp932(g_window, title.c_str());
}

int RunUninstall(const Installation& installation) {
  const DeleteContext context = SystemDeleteContext(installation.folder);
  Removal removal(context);
  UninstallOutcome& outcome = removal.outcome();
  ListedPaths listed;
  ListedPathsIn(installation.folder, installation.entries, &listed);
  outcome.unjoined = listed.unjoined;
  Progress progress(static_cast<int>(listed.files.size()) + CountLines(kSectionDelFiles) + 3);

  // The player's data (saves, settings) goes only on a Yes. That includes a file the game
  // shipped and then wrote the player's progress into: listed, but user data all the same.
  const std::vector<DeleteTarget> user_targets =
      ResolveSection(kSectionDelFilesUser, context, &outcome.refused_lines);
  std::vector<std::pair<std::string, bool>> user_files;  // path, named exactly
  std::set<std::string> user_keys;
  for (const DeleteTarget& target : user_targets) {
    for (const std::string& file : removal.FilesOf(target)) {
      if (user_keys.insert(LowerMb(file)).second) user_files.emplace_back(file, !target.wildcard);
    }
  }

  for (const std::string& file : listed.files) {
    progress.Step(file);
    if (!user_keys.count(LowerMb(file))) removal.DeleteOneFile(file, true);
  }
  removal.NoteFolders(listed.folders, true);

  for (const DeleteTarget& target : ResolveSection(kSectionDelFiles, context, &outcome.refused_lines)) {
    progress.Step(target.Path());
    for (const std::string& file : removal.FilesOf(target)) {
      if (!user_keys.count(LowerMb(file))) removal.DeleteOneFile(file, !target.wildcard);
    }
    removal.NoteFolders(target);
  }

  progress.Step("");
  // Asked only when there is something to lose.
  bool remove_user_data = false;
  if (!user_files.empty() &&
      YesNoBox("セーブデータなどのユーザーデータも削除しますか？\n[いいえ]を選ぶと、ユーザーデータは残ります。")) {
    remove_user_data = true;
    for (const auto& file : user_files) {
      progress.Show(file.first);
      removal.DeleteOneFile(file.first, file.second);
    }
    for (const DeleteTarget& target : user_targets) removal.NoteFolders(target);
  }

  progress.Step("");
  SetUninstallerFolder(installation.records_folder);
  RemoveShortcuts(installation.folder.c_str());
  RemoveUninstallEntry(installation.folder.c_str());
  SetInstallFolderPointer(installation.folder.c_str());
  char key[kSplitBuffer];
  char value[kSplitBuffer];
  RemoveIniEntries(key, value);
  RemoveUserKey(key, value, remove_user_data);
  RemoveMachineTestKey();

  progress.Step("");
  removal.RemoveFolders();
  removal.RemoveMadeFolders(installation.made_folders);
  RemoveRecordsFolder(installation.records_folder);
  ShowWindow(g_window, SW_HIDE);
  if (outcome.Clean()) {
    InfoBox("アンインストールが完了しました。");
  } else {
    ErrorBox("%s", FormatUninstallReport(outcome, kMessageBuffer - 1).c_str());
  }
  DestroyWindow(g_window);
  g_window = nullptr;
  SetMainWindowHandle(nullptr);
  return 0;
}
