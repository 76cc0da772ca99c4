#include "system/records_folder_rule.h"

namespace {

bool IsAdministrative(const std::string& sid) { return sid == kSystemSid || sid == kAdministratorsSid; }

// ACCESS_DENIED_ACE_TYPE, ACCESS_DENIED_OBJECT_ACE_TYPE and their callback forms.
bool IsDenying(std::uint8_t type) { return type == 1 || type == 6 || type == 10 || type == 12; }

}  // namespace

bool OnlyAdministratorsMayWrite(const FolderSecurity& security) {
  if (!IsAdministrative(security.owner) || !security.has_access_list) return false;
  for (const AccessEntry& entry : security.entries) {
    if (IsDenying(entry.type) || IsAdministrative(entry.sid)) continue;
    if (entry.mask & kWriteTypeRights) return false;
  }
  return true;
}

bool ReadsBackAsMade(const std::vector<AccessEntry>& made, const FolderSecurity& read) {
  if (!read.has_access_list || !read.protected_list || read.entries.size() != made.size()) return false;
  for (std::size_t i = 0; i < made.size(); ++i) {
    const AccessEntry& a = made[i];
    const AccessEntry& b = read.entries[i];
    if (a.sid != b.sid || a.type != b.type || a.flags != b.flags || a.mask != b.mask) return false;
  }
  return true;
}
