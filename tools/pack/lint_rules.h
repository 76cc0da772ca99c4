// The rule table of `lint`: the keys the program reads (settings/setting_keys.h), what is
// checked in a value of each kind of key, and the limits the program reads with.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/cp932.h"
#include "settings/setting_keys.h"

inline constexpr std::size_t kLongestInstallFolder = kPathMaxText;  // REP_INSTALL grows a line by up to 248 bytes

// The key an unknown key was probably meant to be, or "" (*case_only: the same but for
// letter case).
std::string LookAlike(const std::string& key, bool* case_only);

// The warnings about a value of a known key, by the checks of its kind, in their order.
std::vector<std::string> ValueWarnings(const SettingKey& key, const std::string& value);
