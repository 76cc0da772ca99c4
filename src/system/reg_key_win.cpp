#include "system/reg_key_win.h"

#include "common/wide_win.h"

RegKey::~RegKey() {
  if (key_) RegCloseKey(key_);
}

bool RegKey::Create(HKEY root, const char* name) {
  if (RegCreateKeyCp932(root, name, KEY_ALL_ACCESS, &key_) == ERROR_SUCCESS) return true;
  key_ = nullptr;
  return false;
}

bool RegKey::Open(HKEY root, const char* name) {
  if (RegOpenKeyCp932(root, name, KEY_ALL_ACCESS, &key_) == ERROR_SUCCESS) return true;
  key_ = nullptr;
  return false;
}

bool RegKey::SetString(const char* value_name, const std::string& text) const {
  return RegSetStringCp932(key_, value_name, text) == ERROR_SUCCESS;
}

bool RegKey::SetDword(const char* value_name, DWORD value) const {
  std::wstring name;
  if (value_name && !WidenCp932(value_name, &name)) return false;
  return RegSetValueExW(key_, value_name ? name.c_str() : nullptr, 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

bool RegKey::Query(const char* value_name, DWORD* type, std::string* data) const {
  return RegQueryValueCp932(key_, value_name, type, data) == ERROR_SUCCESS;
}

bool RegKey::DeleteValue(const char* value_name) const {
  return RegDeleteValueCp932(key_, value_name) == ERROR_SUCCESS;
}
