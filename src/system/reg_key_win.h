// One registry key handle that lives inside one call, opened or created the program's way:
// full access (also for reading), an empty class, a non-volatile key, no security
// attributes, the disposition not asked for. Names and text are CP932 bytes; they reach
// the registry as Unicode, so a Japanese game reads back the same bytes on any system.
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
  // The value's type and its data, text as the CP932 bytes the ...A call gives on a
  // Japanese system (terminator included when stored). False when it cannot be read or
  // holds a character without a CP932 form.
  bool Query(const char* value_name, DWORD* type, std::string* data) const;
  bool DeleteValue(const char* value_name) const;

 private:
  HKEY key_ = nullptr;
};
