#include "support/system_test_support.h"

#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include <memory>

#include "common/wide_win.h"
#include "settings/resource_opener.h"
#include "settings/section_lists_win.h"
#include "settings/setting_list.h"
#include "support/wine_test.h"

std::string MakeScratchFolder(const std::string& name) {
  const std::string folder = wt::TempDir() + "\\" + name;
  wt::MakeDirs(folder);
  return folder;
}

std::string CurrentDirectory() {
  char buffer[1024] = "";
  GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

void LoadSettingsText(const std::string& text) {
  const std::string folder = MakeScratchFolder("pv-settings");
  wt::WriteFile(folder + "\\install.env", text);
  SetCurrentDirectoryA(folder.c_str());
  SetPlainFileSwitch(1);
  LoadSettingList("install.env");
  ReadSectionLists("install.env");
}

void ReloadSettingList(const std::string& text) {
  const std::string folder = MakeScratchFolder("pv-settings-reload");
  wt::WriteFile(folder + "\\install.env", text);
  const std::string saved = CurrentDirectory();
  SetCurrentDirectoryA(folder.c_str());
  SetPlainFileSwitch(1);
  FreeSettingList();
  LoadSettingList("install.env");
  SetCurrentDirectoryA(saved.c_str());
}

EveryoneAccess ReadEveryoneAccess(const std::string& path) {
  EveryoneAccess access;
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, path.c_str(), -1, wide, MAX_PATH)) return access;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(wide, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    return access;
  }
  const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
  wchar_t* text = nullptr;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                           &text, nullptr)) {
    char narrow[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    access.sddl = narrow;
    LocalFree(text);
  }
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD everyone_size = sizeof everyone;
  if (!list || !CreateWellKnownSid(WinWorldSid, nullptr, everyone, &everyone_size)) return access;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(list, i, &entry)) continue;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    if (EqualSid(const_cast<DWORD*>(&allowed->SidStart), everyone)) access.mask |= allowed->Mask;
  }
  return access;
}

bool EveryoneMayWrite(const EveryoneAccess& access) {
  const DWORD write = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
  return (access.mask & write) == write;
}

// The helpers below read through the wide calls with the text in CP932, so a test reads the
// same Japanese text on any system language.
RegValue QueryValue(HKEY root, const std::string& key, const char* name) {
  RegValue value;
  HKEY handle;
  if (RegOpenKeyCp932(root, key.c_str(), KEY_READ, &handle) != ERROR_SUCCESS) return value;
  value.found = RegQueryValueCp932(handle, name, &value.type, &value.data) == ERROR_SUCCESS;
  if (!value.found) value.data.clear();
  RegCloseKey(handle);
  return value;
}

void SetRawValue(HKEY root, const std::string& key, const char* name, DWORD type,
                 const void* data, DWORD size) {
  HKEY handle;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(handle);
}

void SetStringValue(HKEY root, const std::string& key, const char* name, const std::string& text) {
  SetRawValue(root, key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool KeyExists(HKEY root, const std::string& key) {
  HKEY handle;
  if (RegOpenKeyCp932(root, key.c_str(), KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

bool RefuseMachineKeysUnder(const std::string& global) {
  const std::string key = "Software\\" + global;
  DeleteTree(HKEY_LOCAL_MACHINE, key);
  HKEY parent;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &parent, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(parent);
  return true;
}

namespace {

void DeleteTreeW(HKEY root, const std::wstring& key) {
  HKEY handle;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return;
  wchar_t child[256];
  for (;;) {
    DWORD size = 256;
    if (RegEnumKeyExW(handle, 0, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    DeleteTreeW(handle, child);
  }
  RegCloseKey(handle);
  RegDeleteKeyW(root, key.c_str());
}

std::string LinkText(HRESULT status, const wchar_t* text) {
  std::string narrow;
  if (SUCCEEDED(status) && !NarrowCp932(text, &narrow)) return "(no CP932 form)";
  return narrow;
}

}  // namespace

void DeleteTree(HKEY root, const std::string& key) {
  std::wstring wide;
  if (WidenCp932(key, &wide)) DeleteTreeW(root, wide);
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& key) {
  std::vector<std::string> names;
  HKEY handle;
  if (RegOpenKeyCp932(root, key.c_str(), KEY_READ, &handle) != ERROR_SUCCESS) return names;
  wchar_t child[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = 256;
    if (RegEnumKeyExW(handle, index, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::string name;
    names.push_back(NarrowCp932(child, &name) ? name : "(no CP932 form)");
  }
  RegCloseKey(handle);
  return names;
}

ShortcutInfo ReadShortcut(const std::string& path) {
  ShortcutInfo info;
  std::wstring wide;
  if (!WidenCp932(path, &wide)) return info;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return info;
  }
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ))) {
      wchar_t text[MAX_PATH] = L"";
      info.target = LinkText(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH), text);
      text[0] = L'\0';
      info.description = LinkText(link->GetDescription(text, MAX_PATH), text);
      text[0] = L'\0';
      info.working_folder = LinkText(link->GetWorkingDirectory(text, MAX_PATH), text);
      LPITEMIDLIST items = nullptr;
      if (SUCCEEDED(link->GetIDList(&items)) && items) {
        text[0] = L'\0';
        info.listed_target = LinkText(SHGetPathFromIDListW(items, text) ? S_OK : E_FAIL, text);
        CoTaskMemFree(items);
      }
      info.loaded = true;
    }
    file->Release();
  }
  link->Release();
  return info;
}

HWND MakeStandInMainWindow() {
  return CreateWindowExA(0, "STATIC", kStandInCaption, WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

namespace {

// Lets a dialog that has just appeared finish its initialisation (the folder browser fills
// its tree after it shows).
HWND Settled(HWND window) {
  if (window) Sleep(300);
  return window;
}

struct OtherSearch {
  HWND not_this;
  HWND found;
};

BOOL CALLBACK FindOther(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<OtherSearch*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && window != search->not_this && IsWindowVisible(window) &&
      wt::ClassOf(window) == "#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CancelOurDialog(HWND window, LPARAM) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && wt::ClassOf(window) == "#32770") {
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  }
  return TRUE;
}

}  // namespace

HWND WaitForDialog(const char* title, DWORD timeout_ms) {
  return Settled(
      wt::WaitFor([&] { return wt::FindDialog(GetCurrentProcessId(), title); }, timeout_ms));
}

HWND WaitForOtherDialog(HWND not_this, DWORD timeout_ms) {
  return Settled(wt::WaitFor(
      [&] {
        OtherSearch search{not_this, nullptr};
        EnumWindows(FindOther, reinterpret_cast<LPARAM>(&search));
        return search.found;
      },
      timeout_ms));
}

HWND WaitForBox(DWORD timeout_ms) {
  return Settled(wt::WaitFor([] { return wt::FindMessageBox(GetCurrentProcessId()); }, timeout_ms));
}

void WaitUntilGone(HWND window, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (IsWindow(window) && GetTickCount() - start < timeout_ms) Sleep(50);
}

bool IsChecked(HWND dialog, int id) {
  return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked) {
  SendDlgItemMessageA(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CancelAllDialogs() { EnumWindows(CancelOurDialog, 0); }
