// Running from a copy in a private folder of the common application data, so the records
// folder and the install folder can be removed whole.
#pragma once

#include <string>

// Copies the running program into a fresh private folder of the common application-data
// folder, held open so it cannot be renamed or replaced until the copy runs, and starts
// the copy with the hand-over arguments for the records folder, its own folder being its
// current directory. False (nothing shown) when the copy could not be made or started.
bool StartTemporaryCopy(const std::string& records_folder);

// In the copy: waits, a bounded time, for the original to end, so its file can be deleted.
void WaitForOriginal(unsigned long id);

// In the copy: leaves a hidden batch that deletes this program's file and its folder once it
// has ended, and asks the system to delete them at the next start should the batch not manage.
void DeleteSelfLater();
