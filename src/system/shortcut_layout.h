// Where the install puts its shortcuts and where they point: one layout, read by the
// install to create them and by the uninstaller to remove exactly those again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct ShortcutSettings {
  std::string title;         // TITLEBAR: folder and shortcut names
  std::string group;         // INST_GROUP, empty when absent
  std::string exe;           // EXENAME
  std::string readme_title;  // INSTREADME (default "お読みください")
  std::string readme_file;   // INSTREADMEFL, or HELP_FILE when absent; empty or "-..." for none
  std::string uninstaller;   // the uninstaller the shortcut starts; empty: UnInst.exe in the install folder
  bool no_uninstaller = false;  // nothing to start: no uninstaller shortcut
};

struct ShortcutLink {
  std::string link;    // the .LNK file
  std::string target;  // the file it starts
};

struct ShortcutLayout {
  std::vector<std::string> folders;     // Start-menu folders the install makes, outermost first
  std::vector<ShortcutLink> start_menu;  // game, readme (when there is one), uninstaller
  ShortcutLink desktop;
};

// Paths in `programs` (empty: no Start-menu part) and `desktop` (empty: no desktop link),
// targets in the install folder.
ShortcutLayout LayOutShortcuts(std::string_view programs, std::string_view desktop,
                               std::string_view install_folder, const ShortcutSettings& settings);
