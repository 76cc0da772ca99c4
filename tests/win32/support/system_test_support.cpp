#include "support/system_test_support.h"

#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include <memory>

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

RegValue QueryValue(HKEY root, const std::string& key, const char* name) {
  RegValue value;
  HKEY handle;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return value;
  DWORD size = 0;
  if (RegQueryValueExA(handle, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    value.data.resize(size);
    if (RegQueryValueExA(handle, name, nullptr, &value.type,
                         reinterpret_cast<BYTE*>(&value.data[0]), &size) == ERROR_SUCCESS) {
      value.found = true;
      value.data.resize(size);
    }
  }
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
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
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

void DeleteTree(HKEY root, const std::string& key) {
  HKEY handle;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return;
  char child[256];
  for (;;) {
    DWORD size = sizeof child;
    if (RegEnumKeyExA(handle, 0, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    DeleteTree(handle, child);
  }
  RegCloseKey(handle);
  RegDeleteKeyA(root, key.c_str());
}

ShortcutInfo ReadShortcut(const std::string& path) {
  ShortcutInfo info;
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return info;
  }
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(file->Load(wide, STGM_READ))) {
      char text[MAX_PATH] = "";
      link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
      info.target = text;
      text[0] = '\0';
      link->GetDescription(text, sizeof text);
      info.description = text;
      text[0] = '\0';
      link->GetWorkingDirectory(text, sizeof text);
      info.working_folder = text;
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
