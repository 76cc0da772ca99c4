#include "system/shortcut_layout.h"

#include "common/cp932.h"
#include "common/setup_names.h"

namespace {

std::string InFolder(std::string_view folder, std::string_view leaf) {
  std::string path(folder);
  return AddBackslash(path) + std::string(leaf);
}

}  // namespace

ShortcutLayout LayOutShortcuts(std::string_view programs, std::string_view desktop,
                               std::string_view install_folder, const ShortcutSettings& settings) {
  ShortcutLayout layout;
  const std::string& title = settings.title;
  if (!programs.empty()) {
    std::string folder(programs);
    AddBackslash(folder);
    if (!settings.group.empty()) {
      folder += settings.group;
      layout.folders.push_back(folder);
      folder += '\\';
    }
    folder += title;
    layout.folders.push_back(folder);
    folder += '\\';
    layout.start_menu.push_back({folder + title + ".LNK", InFolder(install_folder, settings.exe)});
    if (!settings.readme_file.empty() && settings.readme_file[0] != '-') {
      layout.start_menu.push_back({folder + title + " " + settings.readme_title + ".LNK",
                                   InFolder(install_folder, settings.readme_file)});
    }
    if (!settings.no_uninstaller) {
      layout.start_menu.push_back({folder + title + " アンインストール.LNK",
                                   settings.uninstaller.empty() ? InFolder(install_folder, kUninstallerName)
                                                                : settings.uninstaller});
    }
  }
  if (!desktop.empty()) layout.desktop = {InFolder(desktop, title + ".LNK"), InFolder(install_folder, settings.exe)};
  return layout;
}
