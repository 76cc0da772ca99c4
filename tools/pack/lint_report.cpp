#include "lint_report.h"

#include <algorithm>

int PrintLintReport(const std::string& path, std::vector<LintMessage> messages, std::size_t settings,
                    std::ostream& out, bool warnings_only) {
  int errors = 0, warnings = 0;
  std::stable_sort(messages.begin(), messages.end(),
                   [](const LintMessage& a, const LintMessage& b) { return a.line < b.line; });
  for (const LintMessage& m : messages) {
    if (m.level == LintLevel::kError) ++errors;
    if (m.level == LintLevel::kWarning) ++warnings;
    if (warnings_only && m.level == LintLevel::kInfo) continue;
    out << path << ':' << m.line << ": "
        << (m.level == LintLevel::kError ? "error: " : m.level == LintLevel::kWarning ? "warning: " : "") << m.text
        << '\n';
  }
  if (!warnings_only) {
    out << path << ": " << settings << " settings, " << warnings << " warnings, " << errors << " errors\n";
    out << path << ": what each key, section and placeholder does: see " << kInstallEnvReference << '\n';
  }
  return errors ? 1 : 0;
}
