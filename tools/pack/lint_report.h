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

// The distributor's reference to install.env, in the source tree.
inline constexpr char kInstallEnvReference[] = "docs/install-env.md";

// Prints the messages in line order (only warnings and errors with `warnings_only`, else
// every line, a summary and where the reference lies); 1 when there is an error, else 0.
int PrintLintReport(const std::string& path, std::vector<LintMessage> messages, std::size_t settings,
                    std::ostream& out, bool warnings_only);
