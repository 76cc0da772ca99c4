#include "system/wide_text_win.h"

#include <windows.h>

bool WidenCp932(const std::string& text, std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &(*wide)[0], n) ==
         n;
}

bool NarrowCp932(const std::wstring& wide, std::string* text) {
  text->clear();
  if (wide.empty()) return true;
  BOOL defaulted = FALSE;
  const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, &defaulted);
  if (n <= 0 || defaulted) return false;
  text->resize(static_cast<std::size_t>(n));
  return WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), &(*text)[0], n,
                             nullptr, &defaulted) == n &&
         !defaulted;
}
