// The order of an uninstallation and its closing report: the listed files first, then the
// folders, each only once it is empty, the deepest first and the install folder last.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "archive/entry_order.h"
#include "system/delete_rules.h"

struct ListedPaths {
  std::vector<std::string> files;     // absolute, in reverse archive order
  std::vector<std::string> folders;   // absolute, without a trailing separator
  std::vector<std::string> unjoined;  // entry names that would not fit a path buffer
};

// The list's entries joined to the install folder. False when one would not fit a path
// buffer: that entry lands in `unjoined` for the report, the others are joined all the same.
bool ListedPathsIn(std::string_view install_folder, const std::vector<PlannedEntry>& entries, ListedPaths* out);

// Folders an accepted target leaves to be removed when empty: inside the install folder its
// own folder and every folder up to the install folder; elsewhere only the folder that held
// its files (a protected folder above it is never a candidate).
std::vector<std::string> FoldersOfTarget(const DeleteTarget& target, const DeleteContext& context);

// Each folder once (letter case folded), the deepest first, the install folder last unless it
// is a protected folder itself;
// folders that MayRemoveFolder refuses are dropped.
std::vector<std::string> OrderFoldersForRemoval(const std::vector<std::string>& folders,
                                                const DeleteContext& context);

// Of the folders still there, those not inside another one still there, in the given order.
std::vector<std::string> OutermostFolders(const std::vector<std::string>& remaining);

// The closing message: completion, then the files that could not be deleted and the folders
// that stayed. At most `limit` bytes; lists that do not fit end with a count of the rest.
std::string FormatUninstallReport(const std::vector<std::string>& failed_files,
                                  const std::vector<std::string>& kept_folders, std::size_t limit);

// Everything the closing message names.
struct UninstallOutcome {
  std::vector<std::string> failed_files;
  std::vector<std::string> kept_folders;
  std::vector<std::string> links_left;      // reparse points (or what lay elsewhere) left untouched
  std::vector<std::string> refused_lines;   // delete lines refused, as written
  std::vector<std::string> unjoined;        // install-list entries that could not be joined
  bool Clean() const {
    return failed_files.empty() && kept_folders.empty() && links_left.empty() && refused_lines.empty() &&
           unjoined.empty();
  }
};
std::string FormatUninstallReport(const UninstallOutcome& outcome, std::size_t limit);
