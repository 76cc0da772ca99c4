// Text toward the wide Windows functions: CP932 both ways, never a best-fit guess.
#pragma once

#include <string>

// False for bytes that are not CP932, or a character without a CP932 form.
bool WidenCp932(const std::string& text, std::wstring* wide);
bool NarrowCp932(const std::wstring& wide, std::string* text);
