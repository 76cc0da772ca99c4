// The report of `lint`: messages by line, as "<path>:<line>: warning: ..." lines.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

enum class LintLevel { kInfo, kWarning, kError };

struct LintMessage {
  int line;
  LintLevel level;
  std::string text;
};

// Prints the messages in line order (only warnings and errors with `warnings_only`, else
// every line and a summary); 1 when there is an error, else 0.
int PrintLintReport(const std::string& path, std::vector<LintMessage> messages, std::size_t settings,
                    std::ostream& out, bool warnings_only);
