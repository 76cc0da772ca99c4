// The per-run work folder %TEMP%\TempRVInstallFolder_<number> and the directory saved at start-up.
#pragma once

// Saves the current directory, creates the work folder and enters it. System results are
// ignored: a folder that cannot be made shows up as a failing setup pass. A temporary path
// that cannot be read or is too long leaves the path empty, which the walk refuses.
void CreateWorkFolder();
// Restores the saved directory, deletes the folder's files and removes it.
void RemoveWorkFolder();
const char* WorkFolderPath();
// The current directory at start-up: where a CD keeps its DirectX folder.
const char* StartupDirectory();

// Deletes every match of pattern in folder that is not a directory; the current
// directory is the same afterwards.
void DeleteMatchingFiles(const char* folder, const char* pattern);
