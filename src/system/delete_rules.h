// What the uninstaller may delete beyond its list: the [delfiles] and [delfiles_user] lines
// of install.env, and the folders it removes once they are empty. A line names one file or
// folder, or a wildcard pattern in its last component; it is taken relative to the install
// folder unless it is absolute, after %NAME% environment values and REP_INSTALL are put in.
//
// The rules keep a careless or hostile line from reaching what is not the game's: no ".."
// or "." component, wildcards only in the last component, never a drive root, never the
// install folder itself nor any folder above it, never a protected folder (the user's and
// the system's well-known folders) nor a folder above one, and nothing at all inside the
// Windows and system folders. A line that does not stay inside the install folder must lie
// at least two levels below one of the data folders (application data, documents, saved
// games). The common application-data folder is shared by every program of the machine, and
// the uninstaller's own folders lie there: a line reaches it only inside a folder named for
// this game's maker or title, two folder levels down at the least, and never its Microsoft
// folder nor any records or hand-over folder. Nothing is ever deleted recursively.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct DeleteContext {
  // Absolute, in its long form, without a trailing separator.
  std::string install_folder;
  // Never a target, never the folder of a wildcard, and no folder above them either.
  std::vector<std::string> protected_folders;
  // Nothing inside them is touched.
  std::vector<std::string> system_folders;
  // Where a line outside the install folder may reach, two levels down at the least.
  std::vector<std::string> data_folders;
  // The common application-data folder (empty when it has no CP932 form), and the names a
  // line's first folder in it may have: the maker's and the title's, as the settings give them.
  std::string common_data_folder;
  std::vector<std::string> title_names;
  // The value of %NAME%; false for a name the environment does not know.
  std::function<bool(const std::string& name, std::string* value)> environment;
  // The long form of an existing folder (short 8.3 names spelled out); the folder itself
  // when there is none. Optional.
  std::function<std::string(const std::string& folder)> long_folder;
};

enum class DeleteVerdict {
  kAccepted,
  kEmpty,
  kUnknownVariable,        // %NAME% the environment does not know, or a lone "%"
  kNotAbsolute,            // "C:name" or "\name": relative to something other than the install folder
  kDotComponent,           // a "." or ".." component
  kBadName,                // empty or dot-only component, device name, stream, forbidden character
  kWildcardInFolder,       // "*" or "?" before the last component
  kTooLong,                // does not fit a 260-byte path buffer
  kDriveRoot,              // a drive or share root, or a wildcard directly in one
  kInstallFolderOrParent,  // the install folder itself or a folder above it
  kProtected,              // a protected folder or above one, or inside a system folder
  kOutsideDataFolders,     // neither inside the install folder nor inside a data folder
  kTooShallow,             // less than two levels below a data folder
  kSharedData,             // in the common application-data folder, not in this game's folder there
};

// A line reaches at least this many levels below a data folder: "<data>\Maker\Game" or a
// file in "<data>\Maker", never a wildcard over "<data>\Maker" shared by a maker's titles.
// In the common application-data folder the folder a line reaches into (the file's own, or
// the wildcard's) lies this deep: "<common>\Maker\Game\x.dat", never "<common>\Maker\x.dat".
constexpr int kDataFolderDepth = 2;

const char* DeleteVerdictText(DeleteVerdict verdict);

struct DeleteTarget {
  DeleteVerdict verdict = DeleteVerdict::kEmpty;
  std::string folder;  // absolute, without a trailing separator
  std::string leaf;    // the last component; holds the wildcard when there is one
  bool wildcard = false;
  std::string Path() const { return folder + '\\' + leaf; }
};

DeleteTarget ResolveDeleteLine(std::string_view line, const DeleteContext& context);

// A folder the uninstaller may remove once it is empty: the install folder or a folder that
// an accepted exact line could name.
bool MayRemoveFolder(std::string_view folder, const DeleteContext& context);

// A folder the install created above the install folder: removed once empty, unless it is a
// root, a protected folder or above one, or in a system folder.
bool MayRemoveMadeFolder(std::string_view folder, const DeleteContext& context);

// The install folder the uninstaller was started for must itself be an ordinary folder:
// absolute, not a root, not above a protected folder, not in a system folder. It may be a
// protected folder itself (the player chose Documents): its files then go, the folder stays.
DeleteVerdict CheckInstallFolder(std::string_view folder, const DeleteContext& context);

// "*" any run of characters, "?" one character (a double-byte character counts as one),
// letters compared without case; "*.*" and a trailing ".*" also match names without a dot.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// True when `path` is `base` or lies inside it (letter case folded, whole components).
bool IsSameOrInside(std::string_view path, std::string_view base);
