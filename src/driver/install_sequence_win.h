// What the install button runs: the checks, the folder choice and the space on its drive, the
// extraction, the shortcuts, the uninstall entry, the [ini] and [reg] writes, the end dialog
// and its choices.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// 0 once the installation has been carried out (the main window then closes), -1 when it
// stopped at one of its checks before copying anything.
int Install();

// At start-up, right after the setup pass: keeps the bytes of install.env as the program is
// about to read them, for the uninstaller's records.
void KeepStartupSettings();

// The full pass into the install folder, and the uninstaller it brings: where the archive
// carries UnInst.exe and its install list UnInst.lst, both go from the archive's bytes into a
// fresh records folder only administrators can write, which the uninstall entry then starts
// (if that fails, the player is told and no uninstaller is registered). An archive without
// the list (another writer's) registers UnInst.exe of the install folder; one with the list
// but without UnInst.exe registers none. `made` are the folders made for the install folder.
void ExtractPayload(const char* install_folder, std::vector<std::string> made);

// "ENDINSTALL_VISTA" with the readme box, or "ENDINSTALL_VISTA_SHORT" when INSTREADME is
// unset; sets the readme and start choices.
void RunEndDialog();
INT_PTR CALLBACK EndDialogHandler(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The choices the end dialog left (1 when asked for).
int EndDialogReadmeChoice();
int EndDialogStartChoice();
