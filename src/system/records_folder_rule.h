// Whether a folder's owner and access list keep it to administrators and SYSTEM. The records
// folder is trusted for what it holds (the program, the facts of the installation), and anyone
// may make a folder by its name: only its security decides. SIDs in their text form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr char kSystemSid[] = "S-1-5-18";
constexpr char kAdministratorsSid[] = "S-1-5-32-544";

struct AccessEntry {
  std::string sid;
  std::uint8_t type = 0;  // the ACE type as the system stores it: 0 allowed, 1 denied, ...
  std::uint8_t flags = 0;
  std::uint32_t mask = 0;
};

struct FolderSecurity {
  std::string owner;             // empty when it could not be read
  bool has_access_list = false;  // none at all: everyone has every right
  bool protected_list = false;   // not inheriting from the parent
  std::vector<AccessEntry> entries;
};

// The rights that let someone change the folder, what lies in it, or its security.
constexpr std::uint32_t kWriteTypeRights =
    0x00000002 /* FILE_WRITE_DATA, FILE_ADD_FILE */ | 0x00000004 /* FILE_APPEND_DATA, FILE_ADD_SUBDIRECTORY */ |
    0x00000010 /* FILE_WRITE_EA */ | 0x00000040 /* FILE_DELETE_CHILD */ | 0x00000100 /* FILE_WRITE_ATTRIBUTES */ |
    0x00010000 /* DELETE */ | 0x00040000 /* WRITE_DAC */ | 0x00080000 /* WRITE_OWNER */ |
    0x01000000 /* ACCESS_SYSTEM_SECURITY */ | 0x02000000 /* MAXIMUM_ALLOWED */ | 0x10000000 /* GENERIC_ALL */ |
    0x40000000 /* GENERIC_WRITE */;

// Owned by SYSTEM or administrators, and no entry that grants anything of kWriteTypeRights to
// anyone else (inherit-only ones included: they reach the files inside). Only denying entries
// are left out; any other type counts as a grant.
bool OnlyAdministratorsMayWrite(const FolderSecurity& security);

// True when the folder reads back the protected list it was just made with, entry for entry,
// as every system that keeps access lists does. One that derives them from something else
// (file mode bits) reads back a different list: there the lists decide nothing.
bool ReadsBackAsMade(const std::vector<AccessEntry>& made, const FolderSecurity& read);
