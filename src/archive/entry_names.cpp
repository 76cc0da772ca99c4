#include "archive/entry_names.h"

#include "common/cp932.h"
#include "common/setup_names.h"

namespace {

// Windows opens a device, not a file, for these names whatever the extension or folder.
bool IsDeviceName(std::string_view component) {
  const std::size_t dot = component.find('.');
  std::string base = LowerMb(component.substr(0, dot));
  while (!base.empty() && (base.back() == ' ')) base.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0)) {
    return base[3] >= '0' && base[3] <= '9';
  }
  return false;
}

// ".", ".." and the forms Windows trims to them ("... ", ". .").
bool IsDotsAndSpaces(std::string_view component) {
  return component.find_first_not_of(". ") == std::string_view::npos;
}

}  // namespace

const char* CheckEntryName(std::string_view name, bool folder) {
  if (name.empty()) return "empty name";
  if (name.size() > kPathMaxText) return "name longer than 259 bytes";
  std::size_t start = 0;
  for (std::size_t i = 0;; i += CharLengthAt(name, i)) {
    const bool end = i >= name.size();
    if (!end) {
      const unsigned char c = static_cast<unsigned char>(name[i]);
      if (c < 0x20 || c == 0x7F) return "control character in name";
      if (c == '/') return "'/' in name";
      if (c == ':') return "':' in name (drive or stream)";
      // A lead byte must be followed by a valid trail byte, or Windows could read the pair
      // differently and see a separator or a dot where this check saw none.
      if (IsLeadByte(c)) {
        const unsigned char t = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
        if (t < 0x40 || t == 0x7F || t > 0xFC) return "invalid double-byte character";
      }
    }
    if (end || name[i] == '\\') {
      const std::string_view component = name.substr(start, i - start);
      if (component.empty()) {
        // Only a folder's closing backslash leaves an empty last component.
        if (!(end && folder && start > 0)) {
          return start == 0 ? "name starts with a backslash" : "empty path component";
        }
      } else if (IsDotsAndSpaces(component)) {
        return "'.' or '..' component";
      } else if (IsDeviceName(component)) {
        return "device name component";
      }
      if (end) break;
      start = i + 1;
    }
  }
  return nullptr;
}

bool JoinOutputPath(std::string_view target, std::string_view name, std::string* path) {
  if (target.size() + 1 + name.size() > kPathMaxText) return false;
  path->assign(target);
  path->push_back('\\');
  path->append(name);
  return true;
}

bool IsSetupFile(std::string_view name, std::string_view pattern) {
  const std::string lower_name = LowerMb(name.substr(0, kPathMaxText));
  const std::string lower_pattern = LowerMb(pattern.substr(0, kPathMaxText));
  return FindSubstrMb(lower_name, lower_pattern) != std::string_view::npos;
}

bool MatchesAnySetupPattern(std::string_view name) {
  for (const char* pattern : kSetupPatterns) {
    if (IsSetupFile(name, pattern)) return true;
  }
  return false;
}

bool IsNestedFolderName(std::string_view name) {
  const std::size_t slash = FindCharMb(name, '\\');
  return slash != std::string_view::npos && slash + 1 < name.size();
}
