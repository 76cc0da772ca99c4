// Any bytes as a [delfiles] line, an install list and the copy's arguments: whatever the
// uninstaller accepts must stay within its rules (nothing above the install folder or the
// protected folders, nothing in the Windows folder, no ".." and no wildcard in a folder).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/install_list.h"
#include "common/cp932.h"
#include "system/delete_rules.h"
#include "uninst/hand_over.h"
#include "uninst/removal_plan.h"

namespace {

const std::string kInstall = "C:\\Games\\Game";

DeleteContext Context() {
  DeleteContext context;
  context.install_folder = kInstall;
  context.protected_folders = {"C:\\Users\\me\\AppData\\Roaming", "C:\\Program Files"};
  context.system_folders = {"C:\\Windows"};
  context.data_folders = {"C:\\Users\\me\\AppData\\Roaming", "C:\\Users\\me\\Documents"};
  context.environment = [](const std::string& name, std::string* value) {
    if (name.size() > 8) return false;
    *value = name.empty() ? std::string() : "C:\\Users\\me\\" + name;
    return true;
  };
  return context;
}

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckAccepted(const DeleteTarget& target, const DeleteContext& context) {
  if (target.verdict != DeleteVerdict::kAccepted) return;
  const std::string path = target.Path();
  Require(path.size() <= kPathMaxText);
  Require(!target.leaf.empty() && FindCharMb(target.leaf, '\\') == std::string::npos);
  Require(target.folder.find_first_of("*?") == std::string::npos);
  const std::string subject = target.wildcard ? target.folder : path;
  Require(!IsSameOrInside(kInstall, subject) || (target.wildcard && IsSameOrInside(subject, kInstall)));
  for (const std::string& folder : context.protected_folders) Require(!IsSameOrInside(folder, subject));
  Require(!IsSameOrInside(subject, "C:\\Windows"));
  // Outside the install folder: two levels or more below a data folder.
  if (!IsSameOrInside(subject, kInstall)) {
    bool deep_enough = false;
    for (const std::string& folder : context.data_folders) {
      deep_enough |= IsSameOrInside(subject, folder) && subject.size() > folder.size() + 1 &&
                     FindCharMb(std::string_view(subject).substr(folder.size() + 1), '\\') != std::string::npos;
    }
    Require(deep_enough);
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); i += i < path.size() ? CharLengthAt(path, i) : 1) {
    if (i == path.size() || path[i] == '\\') {
      const std::string component = path.substr(start, i - start);
      Require(component != "." && component != "..");
      start = i + 1;
    }
  }
  for (const std::string& folder : FoldersOfTarget(target, context)) Require(MayRemoveFolder(folder, context));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  static const DeleteContext context = Context();
  // Random bytes rarely spell a drive or a variable: put some in front.
  if (input.size() < 1024) {
    for (const char* prefix : {"", "C:\\", "C:\\Games\\", "%A%\\", "REP_INSTALL\\", "\\\\s\\h\\"}) {
      CheckAccepted(ResolveDeleteLine(prefix + input, context), context);
    }
  }

  std::vector<PlannedEntry> entries;
  std::string error;
  if (ParseInstallList(input, &entries, &error)) {
    ListedPaths listed;
    if (ListedPathsIn(kInstall, entries, &listed)) {
      for (const std::string& file : listed.files) Require(IsSameOrInside(file, kInstall) && file != kInstall);
      for (const std::string& folder : OrderFoldersForRemoval(listed.folders, context)) {
        Require(IsSameOrInside(folder, kInstall));
      }
    }
  }

  HandOver hand_over;
  if (ParseHandOverArguments(input, &hand_over)) {
    Require(hand_over.records_folder.find('"') == std::string::npos && !hand_over.records_folder.empty());
  }
  const std::size_t half = input.size() / 2;
  if (input.size() < 512) MatchesWildcard(input.substr(0, half), input.substr(half));
  return 0;
}
