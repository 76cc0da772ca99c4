// CP932 text for the ...W functions of Windows, converted explicitly whatever the system's
// own code page.
#pragma once

#include <string_view>
#include <vector>

// NUL-terminated UTF-16 (a vector: std::wstring would link the whole wide string library).
using WideText = std::vector<wchar_t>;

// False (and *wide untouched) for bytes that are not valid CP932.
bool WidenCp932(std::string_view text, WideText* wide);
