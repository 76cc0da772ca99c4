// Checks an install.env the way Panvester.exe will read it and says, line by line, what the
// program makes of it. Used by `panvester-pack lint` and, for its warnings, by `build`.
#pragma once

#include <ostream>
#include <string>

// Prints "<path>:<line>: ..." messages (every line's reading, or only warnings and errors).
// Returns 0 when the program will start with this file, 1 when something stops it (an
// unterminated section) or the file cannot be read.
int LintSettingsFile(const std::string& path, std::ostream& out, bool warnings_only);
