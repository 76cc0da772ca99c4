#include "settings/setting_keys.h"

const SettingKey* FindSettingKey(std::string_view name) {
  for (const SettingKey& key : kSettingKeys) {
    if (name == key.name) return &key;
  }
  return nullptr;
}
