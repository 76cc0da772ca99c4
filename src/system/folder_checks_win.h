// The operations between choosing the install folder and filling it: measure the space on
// its drive, create every missing level, prove a file can be written there, and open it to
// everyone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The system's temporary folder with its separator; empty when it cannot be read, has no
// CP932 form (TempFolderW has it exactly) or would not leave room in a path buffer.
std::string TempFolder();

// The volume the folder lies on (or will, once made: its nearest existing parent's).
struct VolumeSpace {
  std::uint64_t cluster = 0;         // bytes of one allocation unit, which every file fills up
  std::uint64_t free_to_caller = 0;  // what this user may still write there (quotas included)
};
// False when the system cannot tell.
bool InstallVolumeSpace(const char* folder, VolumeSpace* space);

// 0 when every level exists or was made, 1 for a bare drive, a path too long for a path
// buffer, or the first level that can be neither entered nor created. The current
// directory is the same afterwards. Each level it creates is added to `made`, outermost first.
int CreateInstallFolder(const char* folder, std::vector<std::string>* made = nullptr);

// 0 when "UserAccountCheck.id" could be created in the folder (it is removed again), else 1.
int TestFolderWritable(const char* folder);

// Replaces the folder's access list by one protected entry giving Everyone full control,
// inherited by everything below (EveryoneFullAccessSddl), in this process: no program is
// started and nothing reported. Leaves the temporary folder as the current directory.
void GrantEveryoneFullAccess(const char* folder);
