// Start-menu and desktop shortcuts, and the uninstall entry.
#pragma once

#include <windows.h>

// Writes a shortcut file through the shell-link object: target, description and the
// target's folder as working folder. The COM status: negative on failure.
HRESULT CreateShellLink(const char* target, const char* link_path, const char* description);

// 1 with the special folder's path in `path` (260 bytes), else 0.
int GetSpecialFolderPath(HWND owner, int csidl, char* path);

// 1 on an NT-family system of major version 6 or later; asked once per process.
int IsVistaOrLater();

// The folder [INST_GROUP\]TITLEBAR in the programs folder with the game, readme and
// uninstaller shortcuts. 0 when every attempted shortcut was made, -1 otherwise.
int CreateStartMenuShortcuts(const char* install_folder);

// Runs "MAKESHORTCUT"; OK with its box checked makes the desktop shortcut.
void AskDesktopShortcut(const char* install_folder);
INT_PTR CALLBACK MakeShortcutDialogHandler(HWND dialog, UINT message, WPARAM wparam,
                                           LPARAM lparam);
int CreateDesktopShortcut(const char* install_folder);

// The uninstall entry "RvApp<TITLEBAR>" under HKEY_LOCAL_MACHINE. Failures are not reported.
void RegisterUninstaller(const char* install_folder);
