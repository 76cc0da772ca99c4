// The rule table of `lint`: the keys the program reads and the limits it reads them with.
#pragma once

#include <cstddef>
#include <string>

#include "common/cp932.h"

// Keys the program reads. All but HELP_FILE land in 128-byte buffers somewhere.
inline constexpr const char* kKnownKeys[] = {"REG_GLOBAL", "REG_LOCAL", "INI_FILE", "INI_SECTION", "TITLEBAR",
                                             "INST_GROUP", "INSTTO",    "INSTFOL",  "EXENAME",     "INSTMAKEFOL",
                                             "INSTREADME", "INSTREADMEFL", "HELP_FILE"};
inline constexpr std::size_t kLongestInstallFolder = kPathMaxText;  // REP_INSTALL grows a line by up to 248 bytes

bool IsKnownKey(const std::string& key);
// The known key an unknown key was probably meant to be, or "" (*case_only: the same but
// for letter case).
std::string LookAlike(const std::string& key, bool* case_only);
