#include "system/uninstall_records.h"

namespace {

constexpr std::string_view kHeader = "PanvesterUninstall 1";
constexpr std::string_view kFolder = "FOLDER ";
constexpr std::string_view kMade = "MADE ";

bool IsAbsolute(std::string_view path) {
  const bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                     path[1] == ':' && path[2] == '\\';
  return drive || (path.size() > 2 && path[0] == '\\' && path[1] == '\\');
}

}  // namespace

std::string FormatUninstallRecords(const UninstallRecords& records) {
  std::string text(kHeader);
  text += "\r\n";
  text += std::string(kFolder) + records.install_folder + "\r\n";
  for (const std::string& folder : records.made_folders) text += std::string(kMade) + folder + "\r\n";
  return text;
}

bool ParseUninstallRecords(std::string_view text, UninstallRecords* records) {
  *records = UninstallRecords();
  bool header = false;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!header) {
      if (line != kHeader) return false;
      header = true;
    } else if (line.substr(0, kFolder.size()) == kFolder && records->install_folder.empty()) {
      records->install_folder.assign(line.substr(kFolder.size()));
      if (!IsAbsolute(records->install_folder)) return false;
    } else if (line.substr(0, kMade.size()) == kMade) {
      if (!IsAbsolute(line.substr(kMade.size()))) return false;
      records->made_folders.emplace_back(line.substr(kMade.size()));
    } else if (!line.empty()) {
      return false;
    }
  }
  return header && !records->install_folder.empty();
}
