#include "archive/install_list.h"

#include <cstdlib>

#include "archive/entry_names.h"
#include "common/cp932.h"

namespace {

constexpr std::string_view kMagic = "PanvesterInstallList";

std::string_view NextLine(std::string_view text, std::size_t* at) {
  const std::size_t start = *at;
  std::size_t end = text.find('\n', start);
  if (end == std::string_view::npos) end = text.size();
  *at = end + 1;
  std::string_view line = text.substr(start, end - start);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

std::string FormatInstallList(const std::vector<PlannedEntry>& entries) {
  std::string text(kMagic);
  text += ' ';
  text += std::to_string(kInstallListVersion);
  text += "\r\n";
  for (const PlannedEntry& entry : entries) {
    text += entry.folder ? "D " : "F ";
    text += entry.name;
    text += "\r\n";
  }
  return text;
}

bool ParseInstallList(std::string_view text, std::vector<PlannedEntry>* entries, std::string* error) {
  entries->clear();
  std::size_t at = 0;
  const std::string_view header = NextLine(text, &at);
  if (header.substr(0, kMagic.size()) != kMagic || header.size() < kMagic.size() + 2 ||
      header[kMagic.size()] != ' ') {
    *error = "not an install list";
    return false;
  }
  const std::string_view version = header.substr(kMagic.size() + 1);
  if (version != std::to_string(kInstallListVersion)) {
    *error = "install list version " + std::string(version) + " is not known";
    return false;
  }
  for (int number = 2; at < text.size(); ++number) {
    const std::string_view line = NextLine(text, &at);
    if (line.empty()) continue;
    if (line.size() < 3 || (line[0] != 'D' && line[0] != 'F') || line[1] != ' ') {
      *error = "line " + std::to_string(number) + ": not an entry";
      return false;
    }
    PlannedEntry entry;
    entry.folder = line[0] == 'D';
    entry.name.assign(line.substr(2));
    if (const char* problem = CheckEntryName(entry.name, entry.folder)) {
      *error = "line " + std::to_string(number) + ": " + problem;
      return false;
    }
    entries->push_back(std::move(entry));
  }
  return true;
}

bool HasTopLevelFile(const std::vector<PlannedEntry>& entries, std::string_view name) {
  const std::string wanted = LowerMb(name);
  for (const PlannedEntry& entry : entries) {
    if (!entry.folder && LowerMb(entry.name) == wanted) return true;
  }
  return false;
}

std::string OrderWithInstallList(std::vector<PlannedEntry>* entries, bool setup_files_first) {
  if (!HasTopLevelFile(*entries, kInstallListName)) entries->push_back({kInstallListName, false});
  OrderEntries(entries, setup_files_first);
  return FormatInstallList(*entries);
}
