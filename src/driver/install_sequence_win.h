// What the install button runs: the checks, the folder choice, the extraction, the shortcuts,
// the uninstall entry, the [ini] and [reg] writes, the end dialog and its choices.
#pragma once

#include <windows.h>

// 0 once the installation has been carried out (the main window then closes), -1 when it
// stopped at one of its checks before copying anything.
int Install();

// "ENDINSTALL_VISTA" with the readme box, or "ENDINSTALL_VISTA_SHORT" when INSTREADME is
// unset; sets the readme and start choices.
void RunEndDialog();
INT_PTR CALLBACK EndDialogHandler(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The choices the end dialog left (1 when asked for).
int EndDialogReadmeChoice();
int EndDialogStartChoice();
