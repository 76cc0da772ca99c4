// What UnInst.exe works from: the install folder, its install.env (read into the setting
// list and the section lists, as the installer reads it) and its list of installed entries.
#pragma once

#include <string>
#include <vector>

#include "archive/entry_order.h"
#include "uninst/delete_rules.h"

struct Installation {
  std::string folder;                 // long form, without a trailing separator
  std::vector<PlannedEntry> entries;  // from UnInst.lst, in archive order
};

// The folder of the running program, in its long form.
std::string ProgramFolder();
// The long form of an existing folder; the text itself when the system has none.
std::string LongFolderName(const std::string& folder);

// The rules' view of this system: its well-known folders, its environment and long names.
DeleteContext SystemDeleteContext(const std::string& install_folder);

// Reads install.env and UnInst.lst from the folder, after checking that the folder is one
// the uninstaller may work in. On failure the error box has been shown and false returned;
// a damaged install.env takes the installer's own fatal paths.
bool LoadInstallation(const std::string& folder, Installation* installation);
