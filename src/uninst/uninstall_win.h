// The uninstaller's window and the removal itself.
#pragma once

#include <string>

#include "uninst/installation_win.h"

// "%s アンインストール" with TITLEBAR: the window's title, the caption of every box and the
// name of the single-instance mutex.
std::string UninstallTitle();

// Creates the window "UNINSTALLING", hidden, as the main window: owner and caption of every
// box, also in the process that only asks before handing over. The title is set from the
// settings once they are read.
void CreateUninstallWindow();
void SetUninstallWindowTitle(const std::string& title);

// Removes the installation: the listed files, the [delfiles] lines, the [delfiles_user] lines
// when the player agrees, the shortcuts, the registry keys and values, the INI keys, and the
// folders that are then empty. Files that cannot be deleted are offered for another try or
// skipped; the closing box names what stayed. Returns the exit code (0).
int RunUninstall(const Installation& installation);
