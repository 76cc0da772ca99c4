#include "system/folder_select_win.h"

#include <shlobj.h>

#include <string>

#include "common/cp932.h"
#include "common/message_win.h"
#include "common/resource_ids.h"
#include "settings/setting_list.h"
#include "system/folder_rules.h"
#include "system/registry_win.h"

namespace {

constexpr int kEditId = IDC_FOLDER_EDIT;
constexpr int kBrowseId = IDC_FOLDER_BROWSE;
constexpr std::size_t kCurrentDirectoryBuffer = 520;

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
  char folder[kPathBuffer] = "";
  const UINT n = GetWindowsDirectoryA(folder, sizeof folder);
  if (n == 0 || n >= sizeof folder) folder[0] = '\0';
  return folder;
}

// The folder browser may move the current directory; every way out of the selection puts
// it back.
class CurrentDirectoryKeeper {
 public:
  CurrentDirectoryKeeper() {
    if (GetCurrentDirectoryA(sizeof saved_, saved_) >= sizeof saved_) saved_[0] = '\0';
  }
  CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
  CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;
  ~CurrentDirectoryKeeper() { Restore(); }
  void Restore() const {
    if (saved_[0] != '\0') SetCurrentDirectoryA(saved_);
  }

 private:
  char saved_[kCurrentDirectoryBuffer] = "";
};

std::string ReadEditText(HWND dialog) {
  HWND edit = GetDlgItem(dialog, kEditId);
  const int length = GetWindowTextLengthA(edit);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
  const int read = GetWindowTextA(edit, &text[0], static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(read > 0 ? read : 0));
  return text;
}

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

  if (DialogBoxParamA(MainWindowInstance(), "SETUP", MainWindowHandle(), SetupDialogHandler, 0) !=
      1) {
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

INT_PTR CALLBACK SetupDialogHandler(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog);
      SetDlgItemTextA(dialog, kEditId, g_selection.c_str());
      return TRUE;
    case WM_COMMAND:
      switch (wparam) {
        case IDOK:
          g_selection = ReadEditText(dialog);
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kBrowseId:
          // The typed text is not read first: the box shows the selection again, picked or not.
          BrowseForInstallFolder(dialog);
          SetDlgItemTextA(dialog, kEditId, g_selection.c_str());
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

void BrowseForInstallFolder(HWND owner) {
  char display_name[kPathBuffer] = "";
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.pszDisplayName = display_name;
  info.lpszTitle = "フォルダを作成する場所を選択してください";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
  LPITEMIDLIST items = SHBrowseForFolderA(&info);
  if (!items) return;

  char picked[MAX_PATH] = "";
  if (SHGetPathFromIDListA(items, picked)) {
    g_selection = AppendBrowsedFolder(picked, ReadFolderSettings().names());
  }
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator))) {
    allocator->Free(items);
    allocator->Release();
  }
}
