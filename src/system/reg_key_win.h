// One registry key handle that lives inside one call, opened or created the program's way:
// full access (also for reading), an empty class, a non-volatile key, no security
// attributes, the disposition not asked for.
#pragma once

#include <windows.h>

#include <string>

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey();

  // Missing parent keys are created with it.
  bool Create(HKEY root, const char* name);
  bool Open(HKEY root, const char* name);
  HKEY get() const { return key_; }

  // REG_SZ with the terminator counted in the length.
  bool SetString(const char* value_name, const std::string& text) const;
  bool SetDword(const char* value_name, DWORD value) const;

 private:
  HKEY key_ = nullptr;
};
