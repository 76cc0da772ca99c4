#include "uninst/removal_plan.h"

#include <algorithm>
#include <set>

#include "archive/entry_names.h"
#include "common/cp932.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;

int Depth(std::string_view path) {
  int depth = 0;
  for (std::size_t at = FindCharMb(path, '\\'); at != kNone; at = FindCharMb(path, '\\', at + 1)) ++depth;
  return depth;
}

std::string ParentOf(std::string_view path) {
  const std::size_t last = FindLastCharMb(path, '\\');
  return last == kNone ? std::string() : std::string(path.substr(0, last));
}

// Appends "\n" + entries that fit into `budget` bytes, then "…ほか%zu件" for the rest.
std::string Listing(const std::vector<std::string>& entries, std::size_t budget) {
  std::string text;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string more = "\n…ほか" + std::to_string(entries.size() - i) + "件";
    const std::string line = "\n" + entries[i];
    const bool last = i + 1 == entries.size();
    if (text.size() + line.size() + (last ? 0 : more.size()) > budget) {
      if (text.size() + more.size() <= budget) text += more;
      break;
    }
    text += line;
  }
  return text;
}

}  // namespace

bool ListedPathsIn(std::string_view install_folder, const std::vector<PlannedEntry>& entries, ListedPaths* out) {
  out->files.clear();
  out->folders.clear();
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    std::string path;
    if (!JoinOutputPath(install_folder, it->name, &path)) {
      out->unjoined.push_back(it->name);
      continue;
    }
    if (it->folder) {
      out->folders.push_back(StripBackslash(path));
    } else {
      out->files.push_back(path);
    }
  }
  return out->unjoined.empty();
}

std::vector<std::string> FoldersOfTarget(const DeleteTarget& target, const DeleteContext& context) {
  std::vector<std::string> folders;
  if (target.verdict != DeleteVerdict::kAccepted) return folders;
  if (!IsSameOrInside(target.folder, context.install_folder)) {
    if (MayRemoveFolder(target.folder, context)) folders.push_back(target.folder);
    return folders;
  }
  for (std::string folder = target.folder; IsSameOrInside(folder, context.install_folder) &&
                                           LowerMb(folder) != LowerMb(context.install_folder);
       folder = ParentOf(folder)) {
    folders.push_back(folder);
  }
  return folders;
}

std::vector<std::string> OrderFoldersForRemoval(const std::vector<std::string>& folders,
                                                const DeleteContext& context) {
  std::vector<std::string> ordered;
  std::set<std::string> seen{LowerMb(context.install_folder)};
  for (const std::string& folder : folders) {
    if (MayRemoveFolder(folder, context) && seen.insert(LowerMb(folder)).second) ordered.push_back(folder);
  }
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
  // A well-known folder chosen as the install folder stays.
  if (MayRemoveFolder(context.install_folder, context)) ordered.push_back(context.install_folder);
  return ordered;
}

std::vector<std::string> OutermostFolders(const std::vector<std::string>& remaining) {
  std::vector<std::string> outermost;
  for (const std::string& folder : remaining) {
    const bool inside_other = std::any_of(remaining.begin(), remaining.end(), [&](const std::string& other) {
      return LowerMb(other) != LowerMb(folder) && IsSameOrInside(folder, other);
    });
    if (!inside_other) outermost.push_back(folder);
  }
  return outermost;
}

std::string FormatUninstallReport(const std::vector<std::string>& failed_files,
                                  const std::vector<std::string>& kept_folders, std::size_t limit) {
  UninstallOutcome outcome;
  outcome.failed_files = failed_files;
  outcome.kept_folders = kept_folders;
  return FormatUninstallReport(outcome, limit);
}

std::string FormatUninstallReport(const UninstallOutcome& outcome, std::size_t limit) {
  std::string text = "アンインストールが完了しました。";
  const struct {
    const char* head;
    const std::vector<std::string>* items;
  } sections[] = {
      {"\n\n以下のファイルを削除できませんでした。お手数ですが、手動で削除してください。", &outcome.failed_files},
      {"\n\n以下のフォルダは、ファイルが残っているか使用中のため削除しませんでした。", &outcome.kept_folders},
      {"\n\n以下はリンク（ジャンクションなど）のため、たどらずに残しました。", &outcome.links_left},
      {"\n\n以下の削除指定は安全でないため、無視しました。", &outcome.refused_lines},
      {"\n\n以下のインストール情報の項目は扱えないため、無視しました。", &outcome.unjoined},
  };
  std::size_t heads = 0;
  std::size_t lists = 0;
  for (const auto& section : sections) {
    if (section.items->empty()) continue;
    heads += std::string_view(section.head).size();
    ++lists;
  }
  if (text.size() + heads > limit) return text.substr(0, std::min(text.size(), limit));
  // Each list gets its share of what is left, so no list is crowded out by another.
  std::size_t room = limit - text.size() - heads;
  for (const auto& section : sections) {
    if (section.items->empty()) continue;
    const std::string listing = Listing(*section.items, room / lists--);
    text += section.head + listing;
    room -= listing.size();
  }
  return text;
}
