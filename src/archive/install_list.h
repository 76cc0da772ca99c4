// The uninstaller and the list it removes by: every file and folder entry of the payload
// archive, in archive order, written by the packer as one more top-level file of the
// payload. The installation extracts it like any other file, so it lies in the install
// folder beside UnInst.exe.
//
// Text in CP932, lines ending in CR LF (LF alone is read as well):
//   PanvesterInstallList 1     the header: the format's name and version
//   D data\                    a folder entry, its name exactly as in the archive
//   F data\big.bin             a file entry
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "archive/entry_order.h"
#include "common/setup_names.h"  // kUninstallerName, kInstallListName

constexpr int kInstallListVersion = 1;

std::string FormatInstallList(const std::vector<PlannedEntry>& entries);

// False with a reason for anything but a well-formed list of this version whose every name
// passes the archive's own name rule (relative, no "..", no drive, no device): a damaged
// list can name nothing outside the install folder.
bool ParseInstallList(std::string_view text, std::vector<PlannedEntry>* entries, std::string* error);

// True when a top-level file of this name is among the entries (letter case folded).
bool HasTopLevelFile(const std::vector<PlannedEntry>& entries, std::string_view name);

// Adds the list's own entry (unless there is one), puts the entries in archive order and
// returns the list's text for exactly that order, its own entry included.
std::string OrderWithInstallList(std::vector<PlannedEntry>* entries, bool setup_files_first = false);
