#include "common/wide_text_win.h"

#include <windows.h>

#include <climits>

namespace {
constexpr UINT kCodePage932 = 932;
}  // namespace

bool WidenCp932(std::string_view text, WideText* wide) {
  if (text.size() >= INT_MAX) return false;
  const int size = static_cast<int>(text.size());
  WideText result(1, L'\0');
  if (size > 0) {
    const int n = MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) return false;
    result.assign(static_cast<std::size_t>(n) + 1, L'\0');
    if (MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, text.data(), size, result.data(), n) != n) {
      return false;
    }
  }
  *wide = std::move(result);
  return true;
}
