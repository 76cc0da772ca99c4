// Install folder path rules: the proposal, the browser's appending, the normalisation of
// the typed folder, and the small path splitters the folder checks and shortcuts use.
// Pure functions of their inputs; the Win32 shell gathers the inputs and shows the boxes.
#pragma once

#include <string>
#include <string_view>

// The folder names the settings contribute. An empty inst_fol means INSTFOL is absent.
struct FolderNames {
  std::string_view inst_to;
  std::string_view inst_fol;
  int make_fol = 0;
};

// "<drive of the Windows folder>\Program Files\[INSTFOL\]INSTTO".
std::string ProposeInstallFolder(std::string_view windows_folder, const FolderNames& names);

// The folder picked in the browser with INSTFOL (unless already in it) and INSTTO appended.
std::string AppendBrowsedFolder(std::string_view picked, const FolderNames& names);

enum class FolderVerdict {
  kAccepted,
  kNetwork,   // a doubled separator: UNC and C:\\x alike
  kRoot,      // nothing left but a drive root
  kTooLong,   // the result would not fit a 260-byte path buffer
};

struct NormalisedFolder {
  FolderVerdict verdict;
  std::string path;  // the normalised path when accepted
};

// Turns the typed text into an absolute local folder without a trailing separator.
NormalisedFolder NormaliseInstallFolder(std::string_view typed, std::string_view windows_folder,
                                        const FolderNames& names);

// The path cut at its n-th separator (n >= 1), the search starting at its second character;
// the whole path when it has fewer than n separators. C:\A\B gives C:, C:\A, C:\A\B.
std::string FolderPrefix(std::string_view path, int level);

// Drive, folder and base name of path, then "." and ext; a base name ending in "." loses it.
std::string ReplaceExtension(std::string_view path, std::string_view ext);

// The path without its last "\" component. 0 (parent untouched) when it has no "\", else 1.
int ParentFolderOf(std::string_view path, std::string* parent);

// The install folder's access list as a security descriptor string: one entry allowing
// Everyone (the well-known SID S-1-1-0, whatever the system calls the group) full control,
// inherited by every file and folder below, and protected so that nothing is inherited
// from the parent; the owner and group are not part of it.
std::string EveryoneFullAccessSddl();
