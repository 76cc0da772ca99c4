// The order of a payload archive's entries, which the program's two passes rely on: shared
// by the packer, the install list and the uninstaller without the writer's compressor.
#pragma once

#include <string>
#include <vector>

// An entry to be ordered: its CP932 name, '\\'-separated; folders end with a backslash.
struct PlannedEntry {
  std::string name;
  bool folder = false;
};

// Puts entries in the order the program reads right: top-level files, then every folder
// (parents before children), then the files inside folders, each group in byte order of
// the name. The setup pass therefore meets every top-level file before it stops at the
// first nested folder, and meets no file inside a folder unless no nested folder exists.
// With `setup_files_first`, the top-level files the setup pass unpacks go before the other
// top-level files: an archive split into volumes then holds them all in its first volume.
void OrderEntries(std::vector<PlannedEntry>* entries, bool setup_files_first = false);

// Replays the setup pass over an ordered list: the name of the first file that pass would
// have to write inside a folder (which it cannot create), or empty when there is none.
std::string FindUnreachableSetupFile(const std::vector<PlannedEntry>& entries);
