#include "archive/entry_order.h"

#include <algorithm>
#include <string_view>

#include "archive/entry_names.h"
#include "common/cp932.h"

namespace {

// 0: top-level setup file (when they go first), 1: top-level file, 2: folder, 3: file
// inside a folder.
int GroupOf(const PlannedEntry& entry, bool setup_files_first) {
  if (entry.folder) return 2;
  if (FindCharMb(entry.name, '\\') != std::string::npos) return 3;
  return setup_files_first && MatchesAnySetupPattern(entry.name) ? 0 : 1;
}

// Byte order of the components, so a folder sorts right before everything inside it:
// comparing whole names would put "a b\" after "a\" but "a!\" before it.
bool ComponentLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  for (;;) {
    const std::size_t ea = std::min(FindCharMb(a, '\\', i), a.size());
    const std::size_t eb = std::min(FindCharMb(b, '\\', j), b.size());
    const int c = std::string_view(a).substr(i, ea - i).compare(std::string_view(b).substr(j, eb - j));
    if (c != 0) return c < 0;
    if (ea >= a.size() || eb >= b.size()) return a.size() - ea < b.size() - eb;
    i = ea + 1;
    j = eb + 1;
  }
}

}  // namespace

void OrderEntries(std::vector<PlannedEntry>* entries, bool setup_files_first) {
  std::stable_sort(entries->begin(), entries->end(), [&](const PlannedEntry& a, const PlannedEntry& b) {
    const int ga = GroupOf(a, setup_files_first), gb = GroupOf(b, setup_files_first);
    if (ga != gb) return ga < gb;
    return ComponentLess(a.name, b.name);
  });
}

std::string FindUnreachableSetupFile(const std::vector<PlannedEntry>& entries) {
  for (const PlannedEntry& entry : entries) {
    if (entry.folder) {
      if (IsNestedFolderName(entry.name)) return std::string();
      continue;
    }
    if (MatchesAnySetupPattern(entry.name) && FindCharMb(entry.name, '\\') != std::string::npos) {
      return entry.name;
    }
  }
  return std::string();
}
