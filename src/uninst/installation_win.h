// What UnInst.exe works from: its records folder, which only administrators can write, with
// the install folder and the folders made above it, the install.env the install read (read
// into the setting list and the section lists, as the installer reads it) and the list of
// installed entries. Nothing is read from the install folder, which everyone may write.
#pragma once

#include <string>
#include <vector>

#include "archive/entry_order.h"
#include "system/delete_rules.h"

struct Installation {
  std::string folder;                     // long form, without a trailing separator
  std::string records_folder;             // where UnInst.exe and its records lie
  std::vector<std::string> made_folders;  // made above the install folder, outermost first
  std::vector<PlannedEntry> entries;      // from UnInst.lst, in archive order
};

// The folder of the running program, in its long form: split in UTF-16, since the system's
// path need not be CP932 (C:\G\Café\UnInst.exe is in C:\G\Café). The CP932 text is
// empty when the folder has none (it is then no records folder).
std::wstring ProgramFolderW();
std::string ProgramFolder();
// The long form of an existing folder; the text itself when the system has none.
std::string LongFolderName(const std::string& folder);

// The rules' view of this system: its well-known folders, its environment and long names,
// and the names of this game's maker and title (so only once the settings are loaded).
DeleteContext SystemDeleteContext(const std::string& install_folder);

// Reads the records, install.env and UnInst.lst from the records folder, after checking that
// it is one and that the install folder it names is one the uninstaller may work in. On
// failure the error box has been shown and false returned; a damaged install.env takes the
// installer's own fatal paths.
bool LoadInstallation(const std::string& records_folder, Installation* installation);
