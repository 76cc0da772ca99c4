// Whether a records folder's security keeps it to administrators and SYSTEM, and whether the
// system keeps access lists at all.
#include "system/records_folder_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr std::uint8_t kAllow = 0;
constexpr std::uint8_t kDeny = 1;
constexpr std::uint8_t kInherit = 0x03;      // OICI
constexpr std::uint32_t kFullControl = 0x1F01FF;
constexpr std::uint32_t kReadExecute = 0x1200A9;
const std::string kUsers = "S-1-5-32-545";
const std::string kEveryone = "S-1-1-0";
const std::string kUser = "S-1-5-21-1-2-3-1000";

// The records folder's list as it is made: full control for both, reading for users.
std::vector<AccessEntry> Made() {
  return {{kSystemSid, kAllow, kInherit, kFullControl},
          {kAdministratorsSid, kAllow, kInherit, kFullControl},
          {kUsers, kAllow, kInherit, kReadExecute}};
}

FolderSecurity Security(std::string owner, std::vector<AccessEntry> entries) {
  FolderSecurity security;
  security.owner = std::move(owner);
  security.has_access_list = true;
  security.protected_list = true;
  security.entries = std::move(entries);
  return security;
}

TEST(RecordsFolderRule, OnlyAdministratorsMayWrite) {
  FolderSecurity no_list = Security(kAdministratorsSid, {});
  no_list.has_access_list = false;
  const struct {
    const char* what;
    FolderSecurity security;
    bool trusted;
  } rows[] = {
      {"as made, owned by administrators", Security(kAdministratorsSid, Made()), true},
      {"as made, owned by SYSTEM", Security(kSystemSid, Made()), true},
      {"owned by a user", Security(kUser, Made()), false},
      {"owner unreadable", Security("", Made()), false},
      {"no list at all", no_list, false},
      {"empty list", Security(kAdministratorsSid, {}), true},
      {"users may add files", Security(kAdministratorsSid, {{kUsers, kAllow, kInherit, kReadExecute | 0x2}}), false},
      {"users may add folders", Security(kAdministratorsSid, {{kUsers, kAllow, 0, 0x4}}), false},
      {"everyone may delete children", Security(kAdministratorsSid, {{kEveryone, kAllow, 0, 0x40}}), false},
      {"a user may change the list", Security(kAdministratorsSid, {{kUser, kAllow, 0, 0x40000}}), false},
      {"a user may take it", Security(kAdministratorsSid, {{kUser, kAllow, 0, 0x80000}}), false},
      {"a user may delete it", Security(kAdministratorsSid, {{kUser, kAllow, 0, 0x10000}}), false},
      {"generic write", Security(kAdministratorsSid, {{kUsers, kAllow, 0, 0x40000000}}), false},
      {"generic all", Security(kAdministratorsSid, {{kUsers, kAllow, 0, 0x10000000}}), false},
      {"attributes", Security(kAdministratorsSid, {{kUsers, kAllow, 0, 0x100}}), false},
      {"extended attributes", Security(kAdministratorsSid, {{kUsers, kAllow, 0, 0x10}}), false},
      {"inherit-only, for the files inside", Security(kAdministratorsSid, {{kUsers, kAllow, 0x0B, 0x2}}), false},
      {"a callback entry", Security(kAdministratorsSid, {{kUsers, 9, 0, 0x2}}), false},
      {"an entry of no plain layout", Security(kAdministratorsSid, {{"", 5, 0, 0x2}}), false},
      {"write denied to users", Security(kAdministratorsSid, {{kUsers, kDeny, 0, 0x40000000}}), true},
      // Wine's list, derived from mode bits.
      {"owned by the user, inheriting", Security(kUser, {{kSystemSid, kAllow, kInherit, kFullControl},
                                                         {kUser, kAllow, kInherit, kFullControl}}),
       false},
  };
  for (const auto& row : rows) EXPECT_EQ(OnlyAdministratorsMayWrite(row.security), row.trusted) << row.what;
}

TEST(RecordsFolderRule, AListReadBackAsMade) {
  FolderSecurity inheriting = Security(kUser, Made());
  inheriting.protected_list = false;
  FolderSecurity none = Security(kUser, {});
  none.has_access_list = false;
  std::vector<AccessEntry> other_mask = Made();
  other_mask[2].mask = 0x1301FF;
  std::vector<AccessEntry> other_flags = Made();
  other_flags[0].flags = 0;
  const struct {
    const char* what;
    FolderSecurity read;
    bool kept;
  } rows[] = {
      {"the same, whoever owns it", Security(kUser, Made()), true},
      {"no longer protected", inheriting, false},
      {"no list", none, false},
      {"an entry less", Security(kAdministratorsSid, {Made()[0], Made()[1]}), false},
      {"another trustee", Security(kAdministratorsSid, {Made()[0], {kUser, kAllow, kInherit, kFullControl}, Made()[2]}),
       false},
      {"another mask", Security(kAdministratorsSid, other_mask), false},
      {"other flags", Security(kAdministratorsSid, other_flags), false},
  };
  for (const auto& row : rows) EXPECT_EQ(ReadsBackAsMade(Made(), row.read), row.kept) << row.what;
}

}  // namespace
