#include "driver/install_sequence_win.h"

#include <cstdint>
#include <cstdio>

#include <string>
#include <utility>
#include <vector>

#include "archive/archive_walk_win.h"
#include "common/callback_guard_win.h"
#include "common/cp932.h"
#include "common/message_win.h"
#include "common/resource_ids.h"
#include "common/setup_names.h"
#include "common/wide_win.h"
#include "driver/work_folder_win.h"
#include "settings/section_lists.h"
#include "settings/setting_list.h"
#include "system/folder_checks_win.h"
#include "system/folder_select_win.h"
#include "system/protected_copy_win.h"
#include "system/registry_win.h"
#include "system/shortcuts_win.h"

namespace {

constexpr int kReadmeBoxId = IDC_CHECK_BOX;
constexpr int kStartBoxId = IDC_START_BOX;
constexpr std::size_t kCaptionText = 512;
constexpr int kFullPass = 0;

// Module-wide, not on the stack: REP_INSTALL keeps pointing at it after Install returns.
char g_install_folder[kPathBuffer] = "";

int g_readme_choice = 0;
int g_start_choice = 0;
char g_readme_caption[kCaptionText] = "";
char g_start_caption[kCaptionText] = "";

// install.env as the program read it at start-up: the records keep these bytes, not a file
// of a folder that someone may have changed since.
constexpr std::uint64_t kSettingsFileLimit = 16 * 1024 * 1024;
std::string g_startup_settings;
bool g_startup_settings_kept = false;

// The records folder while the full pass writes into it: a failed walk ends the process, and
// must not leave a half-made one behind.
std::string g_records_folder;

void RemoveRecordsAndWorkFolder() {
  if (!g_records_folder.empty()) RemoveRecordsFolder(g_records_folder);
  g_records_folder.clear();
  RemoveWorkFolder();
}

constexpr std::uint64_t kMegabyte = 1048576;

std::string MegabytesUp(std::uint64_t bytes) {
  return std::to_string(bytes / kMegabyte + (bytes % kMegabyte != 0 ? 1 : 0));
}

// False only when the archive needs more than the install folder's drive has free and the
// player chose not to go on. Sizes that cannot be read ask nothing: the walk reports what fails.
bool EnoughSpaceOrGoOn(const char* folder) {
  VolumeSpace space;
  std::uint64_t needed = 0;
  if (!InstallVolumeSpace(folder, &space) || !ArchiveUncompressedTotal(&needed, space.cluster)) return true;
  if (needed <= space.free_to_caller) return true;
  return YesNoBox("インストール先の空き容量が不足しています。\n必要な空き容量: %s MB\n現在の空き容量: %s MB\n"
                  "このままインストールを続けますか？",
                  MegabytesUp(needed).c_str(), MegabytesUp(space.free_to_caller).c_str()) != 0;
}

}  // namespace

void KeepStartupSettings() {
  std::wstring path = WorkFolderW();
  g_startup_settings_kept =
      !path.empty() && AppendCp932(&(path += L'\\'), kSettingsFileName) &&
      ReadFileBytesW(path, kSettingsFileLimit, &g_startup_settings);
}

void ExtractPayload(const char* install_folder, std::vector<std::string> made) {
  std::string folder(install_folder);
  StripBackslash(folder);
  if (!made.empty() && LowerMb(made.back()) == LowerMb(folder)) made.pop_back();
  // A records folder that cannot be made is reported only if the archive brings our uninstaller.
  CreateRecordsFolder(&g_records_folder);
  const std::string records = g_records_folder;
  const auto in_records = [&](const char* name) { return records.empty() ? std::string() : records + '\\' + name; };
  std::vector<WalkCopy> copies{{kUninstallerName, in_records(kUninstallerName)},
                               {kInstallListName, in_records(kInstallListName)}};
  WalkArchive(install_folder, kFullPass, RemoveRecordsAndWorkFolder, &copies);  // returns only after a complete extraction
  g_records_folder.clear();
  const WalkCopy& uninstaller = copies[0];
  const WalkCopy& list = copies[1];
  if (uninstaller.seen && list.seen && uninstaller.copied && list.copied && g_startup_settings_kept &&
      FinishRecords(records, folder, made, g_startup_settings)) {
    SetUninstallerFolder(records);
    return;
  }
  if (!records.empty()) RemoveRecordsFolder(records);
  if (!list.seen) {
    // Another writer's archive: its own uninstaller, if any, where it installed it.
    SetUninstallerFolder(std::string());
  } else if (!uninstaller.seen) {
    SetNoUninstaller();  // packed without one
  } else {
    SetNoUninstaller();
    ErrorBox("アンインストール情報を保存できませんでした。\nアンインストーラは使用できません。");
  }
}

int Install() {
  if (TestMachineKey(SettingRegGlobal(), SettingRegLocal()) != 0) {
    ErrorBox("インストールにはAdministrator権限が必要です。");
    return -1;
  }
  // Declining to go on with too little space ends as a cancelled choice does, before any
  // folder is made.
  if (SelectInstallFolder(g_install_folder) != 0 || !EnoughSpaceOrGoOn(g_install_folder)) {
    ErrorBox("インストールを中止しました");
    return -1;
  }
  std::vector<std::string> made;
  if (CreateInstallFolder(g_install_folder, &made) != 0) {
    ErrorBox("インストール先フォルダは無効又は作成できません\nインストールにはAdministrator権限が必要です。");
    return -1;
  }
  if (TestFolderWritable(g_install_folder) != 0) {
    ErrorBox("指定された場所には書き込み出来ません。\nインストールにはAdministrator権限が必要です。");
    return -1;
  }
  // From here the current directory is the temporary folder until the install folder is
  // entered below; everything in between works with absolute paths.
  GrantEveryoneFullAccess(g_install_folder);
  ExtractPayload(g_install_folder, std::move(made));

  CreateStartMenuShortcuts(g_install_folder);
  AskDesktopShortcut(g_install_folder);
  std::uint64_t payload_bytes = 0;
  // A reinstall into the same folder: this install's records replace the ones the entry started.
  std::string earlier_uninstaller;
  const bool reinstall = RegisteredUninstaller(g_install_folder, &earlier_uninstaller);
  RegisterUninstaller(g_install_folder, ArchiveUncompressedTotal(&payload_bytes) ? &payload_bytes : nullptr);
  if (reinstall) RemoveReplacedRecords(g_install_folder, earlier_uninstaller);

  SetInstallFolderPointer(g_install_folder);
  char key[kSplitBuffer];
  char value[kSplitBuffer];
  WriteIniEntries(key, value);
  WriteRegValues(key, value);

  RunEndDialog();
  SetCurrentDirectoryCp932(g_install_folder);
  if (g_start_choice) LaunchProcess(SettingExeName());
  if (g_readme_choice) {
    char readme[kCaptionText];
    GetSettingText(kInstReadmeFlKey, readme, sizeof readme);
    ShellOpen(readme);
  }
  return 0;
}

void RunEndDialog() {
  g_readme_choice = 0;
  g_start_choice = 0;
  GetSettingText(kInstReadmeKey, g_readme_caption, sizeof g_readme_caption);
  std::snprintf(g_start_caption, sizeof g_start_caption, "「%s」の実行", SettingTitleBar());
  if (g_readme_caption[0] == '-') {
    DialogBoxParamW(MainWindowInstance(), L"ENDINSTALL_VISTA_SHORT", MainWindowHandle(),
                    EndDialogHandler, 0);
    g_readme_choice = 0;
  } else {
    DialogBoxParamW(MainWindowInstance(), L"ENDINSTALL_VISTA", MainWindowHandle(), EndDialogHandler,
                    0);
  }
}

static INT_PTR EndDialogHandlerBody(HWND dialog, UINT message, WPARAM wparam) {
  switch (message) {
    case WM_INITDIALOG:
      UseJapaneseDialogFont(dialog);
      CheckDlgButton(dialog, kReadmeBoxId, BST_UNCHECKED);
      SetDlgItemTextCp932(dialog, kReadmeBoxId, g_readme_caption);
      // Neither template has a start box; these two calls then find no control.
      CheckDlgButton(dialog, kStartBoxId, BST_CHECKED);
      SetDlgItemTextCp932(dialog, kStartBoxId, g_start_caption);
      CenterWindow(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (wparam) {
        case IDOK:
          g_readme_choice = IsDlgButtonChecked(dialog, kReadmeBoxId) == BST_CHECKED ? 1 : 0;
          g_start_choice = IsDlgButtonChecked(dialog, kStartBoxId) == BST_CHECKED ? 1 : 0;
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          g_readme_choice = 0;
          g_start_choice = 0;
          EndDialog(dialog, 2);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK EndDialogHandler(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  return GuardCallback([&] { return EndDialogHandlerBody(dialog, message, wparam); });
}

int EndDialogReadmeChoice() { return g_readme_choice; }
int EndDialogStartChoice() { return g_start_choice; }
