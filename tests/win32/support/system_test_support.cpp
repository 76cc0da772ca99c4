#include "support/system_test_support.h"

#include <cstdio>
#include <vector>

#include "settings/resource_opener_win.h"
#include "settings/section_lists.h"
#include "settings/setting_list.h"

std::string MakeScratchFolder(const char* name) {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  std::string folder = std::string(temp) + name;
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::string ReadBytes(const std::string& path, bool* exists) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (exists) *exists = file != nullptr;
  if (!file) return bytes;
  char block[4096];
  std::size_t n;
  while ((n = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, n);
  std::fclose(file);
  return bytes;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string CurrentDirectory() {
  char buffer[1024] = "";
  GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

void LoadSettingsText(const std::string& text) {
  const std::string folder = MakeScratchFolder("pv-settings");
  WriteBytes(folder + "\\install.env", text);
  SetCurrentDirectoryA(folder.c_str());
  SetPlainFileSwitch(1);
  LoadSettingList("install.env");
  ReadSectionLists("install.env");
}

void ReloadSettingList(const std::string& text) {
  const std::string folder = MakeScratchFolder("pv-settings-reload");
  WriteBytes(folder + "\\install.env", text);
  const std::string saved = CurrentDirectory();
  SetCurrentDirectoryA(folder.c_str());
  SetPlainFileSwitch(1);
  FreeSettingList();
  LoadSettingList("install.env");
  SetCurrentDirectoryA(saved.c_str());
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

HWND MakeStandInMainWindow() {
  return CreateWindowExA(0, "STATIC", kStandInCaption, WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

namespace {

struct Search {
  const char* title;
  HWND not_this;
  HWND found;
};

BOOL CALLBACK FindOurDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || window == search->not_this || !IsWindowVisible(window)) {
    return TRUE;
  }
  char class_name[64] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  if (std::string(class_name) != "#32770") return TRUE;
  char title[512] = "";
  GetWindowTextA(window, title, sizeof title);
  if (search->title && std::string(title) != search->title) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CancelOurDialog(HWND window, LPARAM) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char class_name[64] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  if (process == GetCurrentProcessId() && std::string(class_name) == "#32770") {
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  }
  return TRUE;
}

}  // namespace

HWND WaitForDialog(const char* title, HWND not_this, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    Search search{title, not_this, nullptr};
    EnumWindows(FindOurDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      Sleep(100);  // let the dialog finish its initialisation
      return search.found;
    }
    Sleep(50);
  }
  return nullptr;
}

HWND WaitForOtherDialog(HWND not_this, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    Search search{nullptr, not_this, nullptr};
    EnumWindows(FindOurDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      Sleep(300);  // the browser fills its tree after it shows
      return search.found;
    }
    Sleep(50);
  }
  return nullptr;
}

void WaitUntilGone(HWND window, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (IsWindow(window) && GetTickCount() - start < timeout_ms) Sleep(50);
}

std::string ItemText(HWND dialog, int id) {
  char text[2048] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

void SetItemText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextA(dialog, id, text.c_str());
}

bool IsChecked(HWND dialog, int id) {
  return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked) {
  SendDlgItemMessageA(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void PressButton(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string BoxText(HWND box) { return ItemText(box, 0xFFFF); }

void CancelAllDialogs() { EnumWindows(CancelOurDialog, 0); }
