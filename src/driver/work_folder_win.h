// The per-run work folder %TEMP%\TempRVInstallFolder_<number> and the directory saved at start-up.
#pragma once

#include <string>

// Saves the current directory, creates the work folder and enters it. The folder is always
// new (an existing name takes the next number), open to SYSTEM and the administrators only,
// and held open from here to its removal so that it cannot be renamed or replaced. When no
// such folder can be made and held (a temporary path that cannot be read or is too long, a
// path that resolves elsewhere, every number taken) the path stays empty, which the walk
// refuses with its failure path.
void CreateWorkFolder();
// Restores the saved directory, deletes the folder's files, lets the folder go and removes it.
void RemoveWorkFolder();
// The work folder in CP932. A temporary folder with no CP932 form (a user name with "é")
// gives ".": the work folder is the current directory from its creation to its removal.
const char* WorkFolderPath();
const std::wstring& WorkFolderW();
// The current directory at start-up, where a CD keeps its DirectX folder: exact, whether or
// not it has a CP932 form.
const std::wstring& StartupDirectoryW();

// Deletes every match of pattern in folder that is not a directory; the current
// directory is the same afterwards.
void DeleteMatchingFiles(const char* folder, const char* pattern);
