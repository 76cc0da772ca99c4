// The copy dialog "COPYINGDELUX": a modeless window that shows the full pass of the
// archive walk (file name, a bar for the file, a bar for the archive, a looping animation).
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/resource_ids.h"

// Closes any copy dialog still open, then opens a new one owned by the main window and
// scales its overall bar by the archive's length (of every volume; any size, in whole blocks).
// Null when the dialog cannot be created: the walk then runs without progress display.
HWND OpenCopyDialog(std::int64_t archive_length);
// Destroys the copy dialog if one is open and drains the message queue.
void CloseCopyDialog();
HWND CopyDialogHandle();

// A file starts: its output path on the name line, its bar set to 0 .. range.
void ShowCopyFile(const char* path, int file_range);
// Both bars, in whole blocks.
void ShowCopyProgress(int file_position, int overall_position);

INT_PTR CALLBACK CopyDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Control identifiers of the template.
constexpr int kCopyAnimation = IDC_COPY_ANIMATION;
constexpr int kCopyFileBar = IDC_FILE_BAR;
constexpr int kCopyOverallBar = IDC_OVERALL_BAR;
constexpr int kCopyFileName = IDC_FILE_NAME;
constexpr int kCopyCancel = IDCANCEL;
