// What the install leaves for UnInst.exe in a folder of its own that only administrators and
// SYSTEM can write: the program itself, the settings it installed with, the list of installed
// entries and this file of facts. The install folder is open to everyone, so nothing the
// uninstaller decides by is read from there.
//
// Text in CP932, lines ending in CR LF:
//   PanvesterUninstall 1
//   FOLDER <install folder>
//   MADE <folder>            a folder above the install folder that the install created
#pragma once

#include <string>
#include <string_view>
#include <vector>

constexpr char kRecordsFileName[] = "UnInst.rec";
// The records folder's name in the common application-data folder: this prefix and a random
// part, so another user cannot make it beforehand.
constexpr char kRecordsFolderPrefix[] = "PanvesterUninstall_";
// The uninstaller's hand-over copy runs from a fresh folder beside it, named the same way.
constexpr char kHandOverFolderPrefix[] = "PvUnInst_";

struct UninstallRecords {
  std::string install_folder;
  std::vector<std::string> made_folders;  // outermost first
};

std::string FormatUninstallRecords(const UninstallRecords& records);
// False for anything but a well-formed file of this version with an absolute install folder.
bool ParseUninstallRecords(std::string_view text, UninstallRecords* records);
