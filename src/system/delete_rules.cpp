#include "system/delete_rules.h"

#include "archive/entry_names.h"
#include "common/cp932.h"
#include "system/uninstall_records.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;
constexpr std::string_view kInstallPlaceholder = "REP_INSTALL";

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != kNone; }

// %NAME% replaced by the environment's values, left to right, once.
bool ExpandVariables(std::string_view line, const DeleteContext& context, std::string* out) {
  out->clear();
  std::size_t at = 0;
  for (;;) {
    const std::size_t open = FindCharMb(line, '%', at);
    if (open == kNone) {
      out->append(line.substr(at));
      return true;
    }
    out->append(line.substr(at, open - at));
    const std::size_t close = FindCharMb(line, '%', open + 1);
    if (close == kNone || close == open + 1) return false;
    std::string value;
    if (!context.environment || !context.environment(std::string(line.substr(open + 1, close - open - 1)), &value)) {
      return false;
    }
    out->append(value);
    at = close + 1;
  }
}

// "X:" or "\\server\share": nothing above it can be named.
bool IsRoot(std::string_view folder) {
  if (folder.size() == 2 && IsLetter(folder[0]) && folder[1] == ':') return true;
  if (folder.size() < 2 || folder.substr(0, 2) != "\\\\") return false;
  const std::size_t server_end = FindCharMb(folder, '\\', 2);
  return server_end != kNone && FindCharMb(folder, '\\', server_end + 1) == kNone;
}

bool IsAboveOrProtected(std::string_view subject, const DeleteContext& context) {
  for (const std::string& folder : context.protected_folders) {
    if (IsSameOrInside(folder, subject)) return true;
  }
  for (const std::string& folder : context.system_folders) {
    if (IsSameOrInside(subject, folder) || IsSameOrInside(folder, subject)) return true;
  }
  return false;
}

// Splits an absolute path into its root ("X:" or "\\server\share") and the rest; a
// relative one gets the install folder as its root.
DeleteVerdict SplitRoot(std::string_view path, const std::string& install_folder, std::string* root,
                        std::string_view* rest) {
  if (path.size() >= 2 && path.substr(0, 2) == "\\\\") {
    const std::size_t server_end = FindCharMb(path, '\\', 2);
    if (server_end == kNone || server_end == 2) return DeleteVerdict::kBadName;
    std::size_t share_end = FindCharMb(path, '\\', server_end + 1);
    if (share_end == kNone) share_end = path.size();
    const std::string_view server_share = path.substr(2, share_end - 2);
    if (share_end == server_end + 1 || HasWildcard(server_share) || CheckEntryName(server_share, false)) {
      return DeleteVerdict::kBadName;
    }
    root->assign(path.substr(0, share_end));
    *rest = share_end < path.size() ? path.substr(share_end + 1) : std::string_view();
    return DeleteVerdict::kAccepted;
  }
  if (path.size() >= 2 && IsLetter(path[0]) && path[1] == ':') {
    if (path.size() < 3 || path[2] != '\\') return DeleteVerdict::kNotAbsolute;
    root->assign(path.substr(0, 2));
    *rest = path.substr(3);
    return DeleteVerdict::kAccepted;
  }
  if (path[0] == '\\') return DeleteVerdict::kNotAbsolute;
  *root = install_folder;
  *rest = path;
  return DeleteVerdict::kAccepted;
}

DeleteVerdict CheckComponents(std::string_view rest) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = FindCharMb(rest, '\\', start);
    const bool last = end == kNone;
    const std::string_view component = rest.substr(start, last ? kNone : end - start);
    if (component == "." || component == "..") return DeleteVerdict::kDotComponent;
    if (!last && HasWildcard(component)) return DeleteVerdict::kWildcardInFolder;
    // Windows drops trailing dots and blanks, so "Windows." would name the Windows folder.
    if (!component.empty() && (component.back() == '.' || component.back() == ' ')) {
      return DeleteVerdict::kBadName;
    }
    if (last) break;
    start = end + 1;
  }
  // Character by character: "ポ" ends in the byte of "|".
  for (const char forbidden : {'"', '<', '>', '|'}) {
    if (FindCharMb(rest, forbidden) != kNone) return DeleteVerdict::kBadName;
  }
  if (CheckEntryName(rest, false)) return DeleteVerdict::kBadName;
  return DeleteVerdict::kAccepted;
}

int Depth(std::string_view path) {
  int depth = 0;
  for (std::size_t at = FindCharMb(path, '\\'); at != kNone; at = FindCharMb(path, '\\', at + 1)) ++depth;
  return depth;
}

// The deepest data folder holding `subject` decides how deep below it the subject lies.
DeleteVerdict CheckDataFolderDepth(std::string_view subject, const DeleteContext& context) {
  int best = -1;
  for (const std::string& folder : context.data_folders) {
    if (folder.empty() || !IsSameOrInside(subject, folder)) continue;
    const int below = Depth(subject) - Depth(folder);
    if (best < 0 || below < best) best = below;
  }
  if (best < 0) return DeleteVerdict::kOutsideDataFolders;
  return best >= kDataFolderDepth ? DeleteVerdict::kAccepted : DeleteVerdict::kTooShallow;
}

// The first component of `path` below `base`, which holds it.
std::string_view FirstComponentBelow(std::string_view path, std::string_view base) {
  if (path.size() <= base.size() + 1) return std::string_view();
  const std::string_view below = path.substr(base.size() + 1);
  const std::size_t end = FindCharMb(below, '\\');
  return below.substr(0, end);
}

bool StartsWithNoCase(std::string_view name, std::string_view prefix) {
  return name.size() >= prefix.size() && LowerMb(name.substr(0, prefix.size())) == LowerMb(prefix);
}

// The common application-data folder is every program's: the system's own data lies in its
// Microsoft folder (keys, the virus scanner's files), and each installation's records and
// hand-over folders lie there too. `subject` lies inside it.
DeleteVerdict CheckCommonData(const DeleteTarget& target, std::string_view subject, const DeleteContext& context) {
  const std::string& common = context.common_data_folder;
  const std::string_view first = FirstComponentBelow(subject, common);
  if (LowerMb(first) == "microsoft" || StartsWithNoCase(first, kRecordsFolderPrefix) ||
      StartsWithNoCase(first, kHandOverFolderPrefix)) {
    return DeleteVerdict::kProtected;
  }
  if (IsSameOrInside(subject, context.install_folder)) return DeleteVerdict::kAccepted;
  bool named = false;
  for (const std::string& name : context.title_names) {
    if (!name.empty() && LowerMb(name) == LowerMb(first)) named = true;
  }
  if (!named) return DeleteVerdict::kSharedData;
  // Folders, not the file: a file directly in "<common>\Maker" is shared by the maker's titles.
  return Depth(target.folder) - Depth(common) >= kDataFolderDepth ? DeleteVerdict::kAccepted
                                                                  : DeleteVerdict::kTooShallow;
}

DeleteTarget Refused(DeleteVerdict verdict) {
  DeleteTarget target;
  target.verdict = verdict;
  return target;
}

}  // namespace

const char* DeleteVerdictText(DeleteVerdict verdict) {
  switch (verdict) {
    case DeleteVerdict::kAccepted: return "accepted";
    case DeleteVerdict::kEmpty: return "empty line";
    case DeleteVerdict::kUnknownVariable: return "unknown %NAME% or a lone %";
    case DeleteVerdict::kNotAbsolute: return "relative to a drive or its root, not to the install folder";
    case DeleteVerdict::kDotComponent: return "'.' or '..' component";
    case DeleteVerdict::kBadName: return "malformed name";
    case DeleteVerdict::kWildcardInFolder: return "wildcard before the last component";
    case DeleteVerdict::kTooLong: return "longer than 259 bytes";
    case DeleteVerdict::kDriveRoot: return "a drive root or a wildcard in one";
    case DeleteVerdict::kInstallFolderOrParent: return "the install folder itself or a folder above it";
    case DeleteVerdict::kProtected: return "a protected or system folder";
    case DeleteVerdict::kOutsideDataFolders: return "outside the install folder and the data folders";
    case DeleteVerdict::kTooShallow: return "less than two levels below a data folder";
    case DeleteVerdict::kSharedData: return "in the common application data, outside the game's own folder";
  }
  return "";
}

bool IsSameOrInside(std::string_view path, std::string_view base) {
  if (base.empty()) return false;
  const std::string p = LowerMb(path);
  const std::string b = LowerMb(base);
  if (p.size() < b.size() || p.compare(0, b.size(), b) != 0) return false;
  return p.size() == b.size() || p[b.size()] == '\\';
}

DeleteTarget ResolveDeleteLine(std::string_view line, const DeleteContext& context) {
  std::string path;
  if (!ExpandVariables(line, context, &path)) return Refused(DeleteVerdict::kUnknownVariable);
  const std::size_t placeholder = FindSubstrMb(path, kInstallPlaceholder);
  if (placeholder != kNone) path.replace(placeholder, kInstallPlaceholder.size(), context.install_folder);
  for (char& c : path) {
    if (c == '/') c = '\\';  // never a trail byte: those start at 0x40
  }
  if (path.empty()) return Refused(DeleteVerdict::kEmpty);

  std::string root;
  std::string_view rest;
  if (const DeleteVerdict v = SplitRoot(path, context.install_folder, &root, &rest); v != DeleteVerdict::kAccepted) {
    return Refused(v);
  }
  if (EndsWithBackslash(rest)) rest.remove_suffix(1);  // a folder written with its closing separator
  if (rest.empty()) return Refused(DeleteVerdict::kDriveRoot);
  if (const DeleteVerdict v = CheckComponents(rest); v != DeleteVerdict::kAccepted) return Refused(v);

  std::string full = root + '\\' + std::string(rest);
  const std::size_t last = FindLastCharMb(full, '\\');
  DeleteTarget target;
  target.folder = full.substr(0, last);
  target.leaf = full.substr(last + 1);
  target.wildcard = HasWildcard(target.leaf);
  if (context.long_folder) target.folder = context.long_folder(target.folder);
  if (target.folder.size() + 1 + target.leaf.size() > kPathMaxText) return Refused(DeleteVerdict::kTooLong);

  // What the line reaches: the file or folder it names, or the folder a wildcard searches.
  const std::string subject = target.wildcard ? target.folder : target.Path();
  if (target.wildcard && IsRoot(target.folder)) return Refused(DeleteVerdict::kDriveRoot);
  if (IsSameOrInside(context.install_folder, subject) &&
      !(target.wildcard && IsSameOrInside(subject, context.install_folder))) {
    return Refused(DeleteVerdict::kInstallFolderOrParent);
  }
  if (IsAboveOrProtected(subject, context)) return Refused(DeleteVerdict::kProtected);
  if (!context.common_data_folder.empty() && IsSameOrInside(subject, context.common_data_folder)) {
    const DeleteVerdict v = CheckCommonData(target, subject, context);
    if (v != DeleteVerdict::kAccepted) return Refused(v);
  }
  if (!IsSameOrInside(subject, context.install_folder)) {
    const DeleteVerdict v = CheckDataFolderDepth(subject, context);
    if (v != DeleteVerdict::kAccepted) return Refused(v);
  }
  target.verdict = DeleteVerdict::kAccepted;
  return target;
}

bool MayRemoveFolder(std::string_view folder, const DeleteContext& context) {
  if (folder.empty() || IsRoot(folder) || IsAboveOrProtected(folder, context)) return false;
  return !IsSameOrInside(context.install_folder, folder) || IsSameOrInside(folder, context.install_folder);
}

bool MayRemoveMadeFolder(std::string_view folder, const DeleteContext& context) {
  return !folder.empty() && !IsRoot(folder) && !IsAboveOrProtected(folder, context);
}

DeleteVerdict CheckInstallFolder(std::string_view folder, const DeleteContext& context) {
  std::string root;
  std::string_view rest;
  if (folder.empty()) return DeleteVerdict::kEmpty;
  const DeleteVerdict split = SplitRoot(folder, std::string(), &root, &rest);
  if (split != DeleteVerdict::kAccepted) return split;
  if (root.empty()) return DeleteVerdict::kNotAbsolute;
  if (rest.empty()) return DeleteVerdict::kDriveRoot;
  if (const DeleteVerdict v = CheckComponents(rest); v != DeleteVerdict::kAccepted) return v;
  for (const std::string& system : context.system_folders) {
    if (IsSameOrInside(folder, system) || IsSameOrInside(system, folder)) return DeleteVerdict::kProtected;
  }
  for (const std::string& known : context.protected_folders) {
    if (IsSameOrInside(known, folder) && !IsSameOrInside(folder, known)) return DeleteVerdict::kProtected;
  }
  return DeleteVerdict::kAccepted;
}

namespace {

bool Match(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t star = kNone, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
      continue;
    }
    if (p < pattern.size()) {
      const std::size_t pl = CharLengthAt(pattern, p);
      const std::size_t nl = CharLengthAt(name, n);
      if (pattern[p] == '?' || (pl == nl && pattern.compare(p, pl, name, n, nl) == 0)) {
        p += pl;
        n += nl;
        continue;
      }
    }
    if (star == kNone) return false;
    p = star + 1;
    resume += CharLengthAt(name, resume);
    n = resume;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  const std::string p = LowerMb(pattern);
  const std::string n = LowerMb(name);
  if (Match(p, n)) return true;
  // "name.*" also takes "name", and "*.*" everything, as the system's own search does.
  return p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && FindCharMb(n, '.') == kNone &&
         Match(std::string_view(p).substr(0, p.size() - 2), n);
}
