#include "system/shortcuts_win.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/callback_guard_win.h"
#include "common/cp932.h"
#include "common/message_win.h"
#include "common/resource_ids.h"
#include "common/setup_names.h"
#include "common/wide_win.h"
#include "settings/setting_list.h"
#include "system/folder_rules.h"
#include "system/reg_key_win.h"
#include "system/shortcut_layout.h"

namespace {

constexpr int kCsidlPrograms = 2;
constexpr int kCsidlCommonPrograms = 23;
constexpr int kCsidlDesktop = 16;
constexpr int kCsidlCommonDesktop = 25;
constexpr int kDesktopBoxId = IDC_CHECK_BOX;
constexpr std::size_t kUninstallKeyBuffer = 512;

int g_nt_family = -1;
int g_vista_or_later = -1;
const char* g_install_folder = nullptr;  // the install sequence's buffer, for the dialog
std::string g_uninstaller_folder;         // the protected folder of UnInst.exe, once there is one
bool g_no_uninstaller = false;

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  void** out() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

// A special folder with no CP932 form (a user name with "é") takes part in the CP932 layout
// as a stand-in that starts no real path ('|' is never part of a file name); SystemPath puts
// the folder back in UTF-16 before the path reaches the system.
std::string StandIn(ShortcutPlace place) { return place == ShortcutPlace::kPrograms ? "|P" : "|D"; }

std::wstring SpecialFolderOf(ShortcutPlace place) {
  const bool common = IsVistaOrLater() != 0;
  const int csidl = place == ShortcutPlace::kPrograms ? (common ? kCsidlCommonPrograms : kCsidlPrograms)
                                                      : (common ? kCsidlCommonDesktop : kCsidlDesktop);
  return SpecialFolderW(MainWindowHandle(), csidl);
}

// The folder as the layout takes it: its CP932 form, else its stand-in; empty when the system
// cannot say.
std::string LayoutFolder(ShortcutPlace place) {
  const std::wstring wide = SpecialFolderOf(place);
  std::string text;
  if (wide.empty()) return text;
  return NarrowCp932(wide, &text) ? text : StandIn(place);
}

bool SystemPath(const std::string& path, std::wstring* wide) {
  for (const ShortcutPlace place : {ShortcutPlace::kPrograms, ShortcutPlace::kDesktop}) {
    const std::string mark = StandIn(place);
    if (path.compare(0, mark.size(), mark) == 0) {
      *wide = SpecialFolderOf(place);
      return !wide->empty() && AppendCp932(wide, std::string_view(path).substr(mark.size()));
    }
  }
  return WidenCp932(path, wide);
}

// Writes the shortcut file `link_path` (in the system's form).
HRESULT SaveShellLink(const char* target, const std::wstring& link_path, const char* description) {
  // A cut path would point the shortcut elsewhere or save it under another name.
  if (std::strlen(target) > kPathMaxText || link_path.size() > kPathMaxText) return E_INVALIDARG;
  ComPtr<IShellLinkW> link;
  HRESULT status = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out());
  if (FAILED(status)) return status;
  SetLinkPathCp932(link.get(), target);
  SetLinkDescriptionCp932(link.get(), description);
  std::string folder;
  if (ParentFolderOf(target, &folder)) SetLinkWorkingFolderCp932(link.get(), folder.c_str());

  ComPtr<IPersistFile> file;
  status = link->QueryInterface(IID_IPersistFile, file.out());
  if (FAILED(status)) return status;
  return file->Save(link_path.c_str(), TRUE);
}

std::string InFolder(const char* folder, const std::string& leaf) {
  std::string path(folder);
  return AddBackslash(path) + leaf;
}

// The file a shortcut starts, as its stored path and as its item list names it: a shell that
// keeps the stored path only in the ANSI code page (Wine) loses the Japanese names there,
// while the item list keeps them. Empty entries for what cannot be read.
std::vector<std::string> ShortcutTargets(const std::string& link_path) {
  std::vector<std::string> targets;
  std::wstring wide_link;
  if (!SystemPath(link_path, &wide_link)) return targets;
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out()))) {
    return targets;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.out())) || FAILED(file->Load(wide_link.c_str(), STGM_READ))) {
    return targets;
  }
  std::string narrow;
  WCHAR target[kPathBuffer] = L"";
  if (link->GetPath(target, kPathBuffer, nullptr, SLGP_RAWPATH) == S_OK && NarrowCp932(target, &narrow)) {
    targets.push_back(narrow);
  }
  LPITEMIDLIST items = nullptr;
  if (SUCCEEDED(link->GetIDList(&items)) && items) {
    // The shell's limit for this call is MAX_PATH characters.
    WCHAR listed[MAX_PATH] = L"";
    if (SHGetPathFromIDListW(items, listed) && NarrowCp932(listed, &narrow)) targets.push_back(narrow);
    CoTaskMemFree(items);
  }
  return targets;
}

// A shortcut goes only while it still starts what this installation put there: another
// installation of the same title may have replaced it since.
void DeleteOwnShortcut(const ShortcutLink& link) {
  if (link.link.empty()) return;
  const std::vector<std::string> targets = ShortcutTargets(link.link);
  const std::string ours = LowerMb(link.target);
  if (std::none_of(targets.begin(), targets.end(), [&](const std::string& t) { return LowerMb(t) == ours; })) return;
  std::wstring wide;
  if (SystemPath(link.link, &wide)) DeleteFileW(wide.c_str());
}

void MakeFolder(const std::string& path) {
  std::wstring wide;
  if (SystemPath(path, &wide)) CreateDirectoryW(wide.c_str(), nullptr);  // an existing folder is what we want anyway
}

HRESULT CreateLayoutLink(const ShortcutLink& link, const char* description) {
  std::wstring wide;
  if (!SystemPath(link.link, &wide)) return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
  return SaveShellLink(link.target.c_str(), wide, description);
}

}  // namespace

HRESULT CreateShellLink(const char* target, const char* link_path, const char* description) {
  if (std::strlen(link_path) > kPathMaxText) return E_INVALIDARG;
  std::wstring wide;
  if (!WidenCp932(link_path, &wide)) return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
  return SaveShellLink(target, wide, description);
}

int GetSpecialFolderPath(HWND owner, int csidl, char* path) {
  std::string text;
  if (!NarrowCp932(SpecialFolderW(owner, csidl), &text) || text.empty() || text.size() > kPathMaxText) return 0;
  CopyTruncated(path, kPathBuffer, text);
  return 1;
}

int IsVistaOrLater() {
  if (g_vista_or_later != -1) return g_vista_or_later;
  g_vista_or_later = 0;
  if (g_nt_family == -1) g_nt_family = (GetVersion() & 0x80000000u) ? 0 : 1;
  if (g_nt_family == 0) return 0;
  OSVERSIONINFOW version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExW(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT ||
      version.dwMajorVersion < 6) {
    return 0;
  }
  g_vista_or_later = 1;
  return 1;
}

ShortcutSettings CurrentShortcutSettings() {
  ShortcutSettings settings;
  settings.title = SettingTitleBar();
  if (const char* group = SettingInstGroup()) settings.group = group;
  settings.exe = SettingExeName();
  char text[kPathBuffer];
  settings.readme_title = GetSettingText(kInstReadmeKey.name, text, sizeof text, kReadmeShortcutFallback);
  // INSTREADMEFL wins; HELP_FILE stands in when it is absent.
  GetSettingText(kHelpFileKey, text, sizeof text);
  settings.readme_file = GetSettingText(kInstReadmeFlKey.name, text, sizeof text, text);
  if (!g_uninstaller_folder.empty()) settings.uninstaller = InFolder(g_uninstaller_folder.c_str(), kUninstallerName);
  settings.no_uninstaller = g_no_uninstaller;
  return settings;
}

std::string ShortcutFolder(ShortcutPlace place) {
  std::string text;
  return NarrowCp932(SpecialFolderOf(place), &text) ? text : std::string();
}

int CreateStartMenuShortcuts(const char* install_folder) {
  const std::string programs = LayoutFolder(ShortcutPlace::kPrograms);
  if (programs.empty()) return -1;
  const ShortcutLayout layout = LayOutShortcuts(programs, "", install_folder, CurrentShortcutSettings());
  for (const std::string& folder : layout.folders) MakeFolder(folder);
  const std::string description = SettingInstTo();
  bool failed = false;
  for (const ShortcutLink& link : layout.start_menu) {
    if (FAILED(CreateLayoutLink(link, description.c_str()))) failed = true;
  }
  return failed ? -1 : 0;
}

void AskDesktopShortcut(const char* install_folder) {
  g_install_folder = install_folder;
  DialogBoxParamW(MainWindowInstance(), L"MAKESHORTCUT", MainWindowHandle(), MakeShortcutDialogHandler, 0);
}

static INT_PTR MakeShortcutDialogHandlerBody(HWND dialog, UINT message, WPARAM wparam) {
  switch (message) {
    case WM_INITDIALOG:
      UseJapaneseDialogFont(dialog);
      SendDlgItemMessageW(dialog, kDesktopBoxId, BM_SETCHECK, BST_CHECKED, 0);
      CenterWindow(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (wparam) {
        case IDOK:
          if (IsDlgButtonChecked(dialog, kDesktopBoxId) == BST_CHECKED && g_install_folder) {
            CreateDesktopShortcut(g_install_folder);
          }
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 2);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK MakeShortcutDialogHandler(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  return GuardCallback([&] { return MakeShortcutDialogHandlerBody(dialog, message, wparam); });
}

int CreateDesktopShortcut(const char* install_folder) {
  const std::string desktop = LayoutFolder(ShortcutPlace::kDesktop);
  if (desktop.empty()) return -1;
  const ShortcutLink link = LayOutShortcuts("", desktop, install_folder, CurrentShortcutSettings()).desktop;
  const std::string description = SettingInstTo();
  return SUCCEEDED(CreateLayoutLink(link, description.c_str())) ? 0 : -1;
}

void RemoveShortcuts(const char* install_folder) {
  const ShortcutLayout layout = LayOutShortcuts(LayoutFolder(ShortcutPlace::kPrograms),
                                                LayoutFolder(ShortcutPlace::kDesktop), install_folder,
                                                CurrentShortcutSettings());
  for (const ShortcutLink& link : layout.start_menu) DeleteOwnShortcut(link);
  DeleteOwnShortcut(layout.desktop);
  // Innermost first, and only when empty: a group folder may hold other products' folders.
  for (auto folder = layout.folders.rbegin(); folder != layout.folders.rend(); ++folder) {
    std::wstring wide;
    if (SystemPath(*folder, &wide)) RemoveDirectoryW(wide.c_str());
  }
}

std::string UninstallKeyName() {
  return std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RvApp") + SettingTitleBar();
}

void RegisterUninstaller(const char* install_folder, const std::uint64_t* payload_bytes) {
  const std::string key_name = UninstallKeyName();
  if (key_name.size() >= kUninstallKeyBuffer) return;  // the title is at most 127 bytes
  const char* name = key_name.c_str();
  // Two separate openings: a failure of one never keeps the other value from being written.
  {
    RegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, name)) key.SetString("DisplayName", SettingTitleBar());
  }
  RegKey key;
  if (key.Create(HKEY_LOCAL_MACHINE, name)) {
    const std::string folder(install_folder);
    const std::string uninstaller = g_uninstaller_folder.empty() ? InFolder(install_folder, kUninstallerName)
                                                                 : InFolder(g_uninstaller_folder.c_str(), kUninstallerName);
    // Quoted, so a folder with blanks cannot be read as a shorter program path. Without an
    // uninstaller, an earlier installation's value would start what is no longer there.
    if (g_no_uninstaller) {
      key.DeleteValue("UninstallString");
    } else {
      key.SetString("UninstallString", "\"" + uninstaller + "\"");
    }
    key.SetString("InstallLocation", folder);
    key.SetString("DisplayIcon", InFolder(install_folder, SettingExeName()));
    if (payload_bytes) {
      const std::uint64_t kib = (*payload_bytes + 1023) / 1024;
      key.SetDword("EstimatedSize", kib > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(kib));
    }
  }
}

void SetUninstallerFolder(const std::string& folder) {
  g_uninstaller_folder = folder;
  g_no_uninstaller = false;
}

void SetNoUninstaller() {
  g_uninstaller_folder.clear();
  g_no_uninstaller = true;
}

namespace {

// A REG_SZ value without a stored terminator; false when there is none.
bool QueryText(const RegKey& key, const char* value_name, std::string* text) {
  DWORD type = 0;
  if (!key.Query(value_name, &type, text) || type != REG_SZ) return false;
  *text = text->c_str();
  return true;
}

// Another installation of the same title in another folder owns the entry by now.
bool EntryIsFor(const RegKey& key, const char* install_folder) {
  std::string stored;
  std::string ours(install_folder);
  return QueryText(key, "InstallLocation", &stored) && LowerMb(StripBackslash(stored)) == LowerMb(StripBackslash(ours));
}

}  // namespace

bool RegisteredUninstaller(const char* install_folder, std::string* uninstaller) {
  uninstaller->clear();
  RegKey key;
  if (!key.Open(HKEY_LOCAL_MACHINE, UninstallKeyName().c_str()) || !EntryIsFor(key, install_folder)) return false;
  std::string command;
  if (QueryText(key, "UninstallString", &command) && command.size() >= 2 && command.front() == '"' &&
      command.back() == '"') {
    *uninstaller = command.substr(1, command.size() - 2);
  } else {
    *uninstaller = command;
  }
  return true;
}

void RemoveUninstallEntry(const char* install_folder) {
  const std::string name = UninstallKeyName();
  {
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, name.c_str()) || !EntryIsFor(key, install_folder)) return;
  }
  // The same key name as the one written through RegKey, on any system language.
  RegDeleteKeyCp932(HKEY_LOCAL_MACHINE, name.c_str());
}
