#include "system/folder_rules.h"

#include "common/cp932.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// The Windows folder up to and including its first `mark`; empty when it has none.
std::string_view WindowsFolderUpTo(std::string_view windows_folder, char mark) {
  const std::size_t at = FindCharMb(windows_folder, mark);
  return at == kNone ? std::string_view() : windows_folder.substr(0, at + 1);
}

bool IsNetworkPath(std::string_view path) {
  // A plain byte search on purpose: only the first pair is judged, and a pair whose first
  // byte is the trail of a double-byte character (ソ + "\") is excused.
  const std::size_t at = path.find("\\\\");
  if (at == kNone) return false;
  return at == 0 || !IsLeadByte(static_cast<unsigned char>(path[at - 1]));
}

}  // namespace

std::string ProposeInstallFolder(std::string_view windows_folder, const FolderNames& names) {
  std::string path(WindowsFolderUpTo(windows_folder, '\\'));
  path += "Program Files\\";
  if (!names.inst_fol.empty()) {
    path += names.inst_fol;
    path += '\\';
  }
  path += names.inst_to;
  return path;
}

std::string AppendBrowsedFolder(std::string_view picked, const FolderNames& names) {
  std::string path(picked);
  if (!names.inst_fol.empty() && FindSubstrMb(path, names.inst_fol) == kNone) {
    AddBackslash(path);
    path += names.inst_fol;
  }
  // Always, even when the picked folder already carries the INSTTO name.
  AddBackslash(path);
  path += names.inst_to;
  return path;
}

NormalisedFolder NormaliseInstallFolder(std::string_view typed, std::string_view windows_folder,
                                        const FolderNames& names) {
  std::string path(typed);
  for (std::size_t i = 0; i < path.size(); i += CharLengthAt(path, i)) {
    if (path[i] == '/') path[i] = '\\';
  }
  if (IsNetworkPath(path)) return {FolderVerdict::kNetwork, std::string()};

  StripBackslash(path);

  // Byte-wise and case-sensitive: D:\MyGame already "contains" Game.
  if (names.make_fol != 0 && path.find(names.inst_to) == kNone) {
    if (!names.inst_fol.empty()) {
      path += '\\';
      path += names.inst_fol;
    }
    path += '\\';
    path += names.inst_to;
  }

  if (FindCharMb(path, ':') == kNone) {
    // \Games and Games both land on the Windows drive: C:\Games and C:Games.
    path.insert(0, WindowsFolderUpTo(windows_folder, ':'));
  }

  const std::size_t colon = FindCharMb(path, ':');
  if (colon != kNone && (colon + 1 >= path.size() || path[colon + 1] != '\\')) {
    path.insert(colon + 1, 1, '\\');
  }

  // After the strip above only a drive root can still end with a separator.
  if (EndsWithBackslash(path)) return {FolderVerdict::kRoot, std::string()};
  if (path.size() > kPathMaxText) return {FolderVerdict::kTooLong, std::string()};
  return {FolderVerdict::kAccepted, path};
}

std::string FolderPrefix(std::string_view path, int level) {
  if (path.empty()) return std::string();
  std::size_t from = CharLengthAt(path, 0);
  std::size_t separator = kNone;
  for (int n = 0; n < level; ++n) {
    separator = FindCharMb(path, '\\', from);
    if (separator == kNone) return std::string(path);
    from = separator + 1;
  }
  return std::string(path.substr(0, separator));
}

std::string ReplaceExtension(std::string_view path, std::string_view ext) {
  // The file name starts after the last folder separator or, failing that, the drive colon.
  std::size_t name_start = 0;
  for (std::size_t i = 0; i < path.size(); i += CharLengthAt(path, i)) {
    if (path[i] == '\\' || path[i] == '/' || (i == 1 && path[i] == ':')) name_start = i + 1;
  }
  std::string result(path.substr(0, name_start));
  std::string_view name = path.substr(name_start);
  const std::size_t dot = FindLastCharMb(name, '.');
  std::string_view base = dot == kNone ? name : name.substr(0, dot);
  if (!base.empty() && base.back() == '.') base.remove_suffix(1);
  result += base;
  result += '.';
  result += ext;
  return result;
}

int ParentFolderOf(std::string_view path, std::string* parent) {
  const std::size_t last = FindLastCharMb(path, '\\');
  if (last == kNone) return 0;
  parent->assign(path.substr(0, last));
  return 1;
}

std::string EveryoneFullAccessSddl() {
  // D: the access list, P protected, A allow, OI CI inherited by files and folders (and
  // applying to the folder itself), FA full control (FILE_ALL_ACCESS), WD Everyone.
  return "D:P(A;OICI;FA;;;WD)";
}
