#include "system/folder_select_win.h"

#include <shlobj.h>

#include <string>

#include "common/callback_guard_win.h"
#include "common/cp932.h"
#include "common/message_win.h"
#include "common/resource_ids.h"
#include "common/wide_win.h"
#include "settings/setting_list.h"
#include "system/folder_rules.h"
#include "system/registry_win.h"

namespace {

constexpr int kEditId = IDC_FOLDER_EDIT;
constexpr int kBrowseId = IDC_FOLDER_BROWSE;

// Shown in the edit box and read back from it. Not cut to a path buffer here: a selection
// that would not fit is refused once normalised, never shortened behind the user's back.
std::string g_selection;

// The settings' folder names, copied: the accessors' buffers are reused by their next call.
struct FolderSettings {
  std::string inst_to;
  std::string inst_fol;
  int make_fol;
  FolderNames names() const { return FolderNames{inst_to, inst_fol, make_fol}; }
};

FolderSettings ReadFolderSettings() {
  FolderSettings settings;
  settings.inst_to = SettingInstTo();
  const char* inst_fol = SettingInstFol();
  settings.inst_fol = inst_fol ? inst_fol : "";
  settings.make_fol = SettingInstMakeFol();
  return settings;
}

std::string WindowsFolder() {
  std::string folder;
  if (!NarrowCp932(WindowsFolderW(), &folder) || folder.size() >= kPathBuffer) folder.clear();
  return folder;
}

// The folder browser may move the current directory; every way out of the selection puts
// it back.
class CurrentDirectoryKeeper {
 public:
  CurrentDirectoryKeeper() : saved_(CurrentFolderW()) {}
  CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
  CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;
  ~CurrentDirectoryKeeper() { Restore(); }
  void Restore() const {
    if (!saved_.empty()) SetCurrentDirectoryW(saved_.c_str());
  }

 private:
  std::wstring saved_;  // in UTF-16: the program may have been started in a folder with no CP932 form
};

// The install folder goes into CP932 settings, INI and registry text: a name with no CP932
// form is refused, and the player chooses again.
void RefuseFolderName(HWND dialog) { MessageBoxCp932(dialog, kFolderNameNotCp932Text, MainWindowCaption(), MB_OK | MB_ICONERROR); }

}  // namespace

const char* InstallFolderSelection() { return g_selection.c_str(); }

int SelectInstallFolder(char* result) {
  CurrentDirectoryKeeper directory;
  const FolderSettings settings = ReadFolderSettings();
  const std::string windows = WindowsFolder();

  g_selection = ProposeInstallFolder(windows, settings.names());

  // A previous installation that left IsInst and InstTo behind is proposed again.
  if (ReadUserRegInt(SettingRegGlobal(), SettingRegLocal(), "IsInst", 0) != 0) {
    char previous[kPathBuffer];
    if (ReadUserRegString(SettingRegGlobal(), SettingRegLocal(), "InstTo", "", previous,
                          sizeof previous) == 0) {
      g_selection = previous;
    }
  }

  if (DialogBoxParamW(MainWindowInstance(), L"SETUP", MainWindowHandle(), SetupDialogHandler, 0) != 1) {
    return -1;
  }

  const NormalisedFolder folder = NormaliseInstallFolder(g_selection, windows, settings.names());
  switch (folder.verdict) {
    case FolderVerdict::kNetwork:
      directory.Restore();
      ErrorBox("ネットワークドライブには対応していません。\nローカルドライブを選択して下さい。");
      return -1;
    case FolderVerdict::kRoot:
      // Cancel ends the process inside the box; Retry lands back at the caller as a failure.
      RetryAbortBox("ルートにはインストールできません");
      return -1;
    case FolderVerdict::kTooLong:
      directory.Restore();
      ErrorBox("インストール先のパスが長すぎます。\n短いフォルダ名を指定して下さい。");
      return -1;
    case FolderVerdict::kAccepted:
      break;
  }
  directory.Restore();
  if (!YesNoBox("[%s]にインストールします", folder.path.c_str())) return -1;
  CopyTruncated(result, kPathBuffer, folder.path);  // fits: the rules refuse longer paths
  return 0;
}

static INT_PTR SetupDialogHandlerBody(HWND dialog, UINT message, WPARAM wparam) {
  switch (message) {
    case WM_INITDIALOG:
      UseJapaneseDialogFont(dialog);
      CenterWindow(dialog);
      SetDlgItemTextCp932(dialog, kEditId, g_selection.c_str());
      return TRUE;
    case WM_COMMAND:
      switch (wparam) {
        case IDOK: {
          std::string typed;
          if (!GetDlgItemTextCp932(dialog, kEditId, &typed)) {
            RefuseFolderName(dialog);
            return TRUE;
          }
          g_selection = typed;
          EndDialog(dialog, 1);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kBrowseId:
          // The typed text is not read first: the box shows the selection again, picked or not.
          BrowseForInstallFolder(dialog);
          SetDlgItemTextCp932(dialog, kEditId, g_selection.c_str());
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK SetupDialogHandler(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  return GuardCallback([&] { return SetupDialogHandlerBody(dialog, message, wparam); });
}

void BrowseForInstallFolder(HWND owner) {
  std::wstring title;
  WidenCp932("フォルダを作成する場所を選択してください", &title);
  wchar_t display_name[MAX_PATH] = L"";
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pszDisplayName = display_name;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
  LPITEMIDLIST items = SHBrowseForFolderW(&info);
  if (!items) return;

  wchar_t picked[MAX_PATH] = L"";
  const BOOL found = SHGetPathFromIDListW(items, picked);
  CoTaskMemFree(items);
  if (!found) return;
  std::string narrow;
  if (!NarrowCp932(picked, &narrow)) {
    RefuseFolderName(owner);
    return;
  }
  g_selection = AppendBrowsedFolder(narrow, ReadFolderSettings().names());
}
