// Choosing the install folder: the proposal, the "SETUP" dialog with its folder browser,
// the normalisation of the typed text and the confirmation box.
#pragma once

#include <windows.h>

// Shown when a typed or browsed folder has no CP932 form; the dialog stays open.
constexpr char kFolderNameNotCp932Text[] =
    "インストール先のフォルダ名に使用できない文字が含まれています。\n別のフォルダを指定して下さい。";

// 0 once the user confirmed a folder, which is then in `result` (a 260-byte path buffer);
// -1 otherwise, `result` untouched. The current directory is the same afterwards.
int SelectInstallFolder(char* result);

// Dialog procedure of "SETUP": edit box 1000, browse button 1021, OK 1 ends with 1,
// Cancel 2 ends with 0.
INT_PTR CALLBACK SetupDialogHandler(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Lets the user pick an existing folder; INSTFOL and INSTTO are appended to the pick.
// Cancelling leaves the selection as it was.
void BrowseForInstallFolder(HWND owner);

// The selection as the dialog shows it (for tests of the dialog).
const char* InstallFolderSelection();
