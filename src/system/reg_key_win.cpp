#include "system/reg_key_win.h"

RegKey::~RegKey() {
  if (key_) RegCloseKey(key_);
}

bool RegKey::Create(HKEY root, const char* name) {
  char no_class[] = "";
  if (RegCreateKeyExA(root, name, 0, no_class, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) ==
      ERROR_SUCCESS) {
    return true;
  }
  key_ = nullptr;
  return false;
}

bool RegKey::Open(HKEY root, const char* name) {
  if (RegOpenKeyExA(root, name, 0, KEY_ALL_ACCESS, &key_) == ERROR_SUCCESS) return true;
  key_ = nullptr;
  return false;
}

bool RegKey::SetString(const char* value_name, const std::string& text) const {
  return RegSetValueExA(key_, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool RegKey::SetDword(const char* value_name, DWORD value) const {
  return RegSetValueExA(key_, value_name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value) == ERROR_SUCCESS;
}
