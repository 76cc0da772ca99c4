// Start-menu and desktop shortcuts, and the uninstall entry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "system/shortcut_layout.h"

// Writes a shortcut file through the shell-link object: target, description and the
// target's folder as working folder. The COM status: negative on failure.
HRESULT CreateShellLink(const char* target, const char* link_path, const char* description);

// 1 with the special folder's path in `path` (260 bytes), else 0 (also when it has no
// CP932 form).
int GetSpecialFolderPath(HWND owner, int csidl, char* path);

// 1 on an NT-family system of major version 6 or later; asked once per process.
int IsVistaOrLater();

// The names the settings give the shortcuts (TITLEBAR, INST_GROUP, EXENAME and the readme).
ShortcutSettings CurrentShortcutSettings();

// The programs folder of the Start menu or the desktop folder, the all-users one on Vista
// and later; empty when the system cannot say or the folder has no CP932 form (the
// shortcuts are still made there: their paths then stay in UTF-16).
enum class ShortcutPlace { kPrograms, kDesktop };
std::string ShortcutFolder(ShortcutPlace place);

// The folder [INST_GROUP\]TITLEBAR in the programs folder with the game, readme and
// uninstaller shortcuts. 0 when every attempted shortcut was made, -1 otherwise.
int CreateStartMenuShortcuts(const char* install_folder);

// Runs "MAKESHORTCUT"; OK with its box checked makes the desktop shortcut.
void AskDesktopShortcut(const char* install_folder);
INT_PTR CALLBACK MakeShortcutDialogHandler(HWND dialog, UINT message, WPARAM wparam,
                                           LPARAM lparam);
int CreateDesktopShortcut(const char* install_folder);

// The uninstall entry "RvApp<TITLEBAR>" under HKEY_LOCAL_MACHINE, with the installed size
// from `payload_bytes` (none when null). Failures are not reported.
void RegisterUninstaller(const char* install_folder, const std::uint64_t* payload_bytes = nullptr);

// What the uninstall entry and the uninstaller's shortcut start: the protected UnInst.exe in
// `folder` (the uninstaller recognizes its shortcut by it), or, while no folder is set,
// UnInst.exe of the install folder (an archive of another writer brings its own).
void SetUninstallerFolder(const std::string& folder);
// No uninstaller to start: the entry gets no UninstallString and no uninstaller shortcut is made.
void SetNoUninstaller();

// Deletes the shortcuts the install makes for this install folder, each only while it still
// starts what this installation put there, then their Start-menu folders as far as they are
// empty. Failures are not reported.
void RemoveShortcuts(const char* install_folder);

// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\RvApp<TITLEBAR>".
std::string UninstallKeyName();
// Deletes that key (under HKEY_LOCAL_MACHINE) with its values, but only while its
// InstallLocation is this install folder.
void RemoveUninstallEntry(const char* install_folder);
// True when that key's InstallLocation is this install folder; `uninstaller` then gets the
// program its UninstallString starts (without the quotes; empty when it has none).
bool RegisteredUninstaller(const char* install_folder, std::string* uninstaller);
