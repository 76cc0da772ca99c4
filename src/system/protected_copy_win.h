// The uninstaller's own folder: made fresh with an access list that only administrators and
// SYSTEM can write, so that neither the program the uninstall entry starts nor what it reads
// can be swapped by another user of the machine.
#pragma once

#include <string>
#include <vector>

// The access lists, as security descriptors in their text form: protected from inheritance,
// full control for SYSTEM and administrators; the records folder is readable by users (the
// shortcut shows the program's icon), the temporary copy's folder by nobody else.
constexpr wchar_t kRecordsFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
constexpr wchar_t kPrivateFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Creates `parent`\`prefix`<16 random hex digits> with the given access list; never an existing
// folder. False when no such folder could be made.
bool CreateFreshFolder(const std::string& parent, const char* prefix, const wchar_t* sddl, std::string* folder);
// The same in a folder from the system, which may have no CP932 form.
bool CreateFreshFolderW(const std::wstring& parent, const char* prefix, const wchar_t* sddl, std::wstring* folder);

// A fresh records folder in the common application-data folder. False (and `folder` empty)
// when none can be made.
bool CreateRecordsFolder(std::string* folder);

// Completes a records folder into which the walk has written UnInst.exe and UnInst.lst from
// the archive: the settings as the program read them at start-up, and the facts of this
// installation. False when either could not be written.
bool FinishRecords(const std::string& folder, const std::string& install_folder,
                   const std::vector<std::string>& made_folders, const std::string& settings_bytes);

// True when `folder` is a records folder: directly in the common application-data folder
// and named with the records prefix.
bool IsRecordsFolder(const std::string& folder);

// Deletes the records folder's files and the folder (the uninstaller's last step).
void RemoveRecordsFolder(const std::string& folder);

// A reinstall into the same install folder registers its own records: the records folder of
// `earlier_uninstaller` (what the uninstall entry of `install_folder` started before) is then
// no one's. Deleted once the entry starts another program, and only when it is a records
// folder, decided by a handle held until it is gone; never through a link.
void RemoveReplacedRecords(const char* install_folder, const std::string& earlier_uninstaller);
