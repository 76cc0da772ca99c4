// Any byte string as an INI file found on the player's machine, with a section and a key
// spelt from the input in letters, blanks and double-byte characters with 0x5C and 0x5D
// trail bytes (the names a settings line can give): editing must stay inside memory it owns, and setting the same
// entry a second time must change nothing (else repeated installs would pile up lines).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "system/ini_editor.h"

namespace {

std::string Name(std::string_view letters) {
  static const char* const kPieces[] = {"a", "B", " ", "\x83\x5C", "\x95\x5D", "\x82\x60", "\x82\x81"};
  std::string name;
  for (const char c : letters) name += kPieces[static_cast<unsigned char>(c) % 7];
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t section_size = data[0] % 8;
  const std::size_t key_size = data[1] % 8;
  if (size < 2 + section_size + key_size) return 0;
  const std::string section = Name(input.substr(2, section_size));
  const std::string key = Name(input.substr(2 + section_size, key_size));
  const std::string_view file = input.substr(2 + section_size + key_size);
  const std::string value = "C:\\\x83\x5C\x95\x5C";  // a path ending in trail bytes 0x5C

  const std::string set = SetIniEntry(file, section, key, value);
  if (SetIniEntry(set, section, key, value) != set) __builtin_trap();
  const std::string removed = RemoveIniEntry(set, section, key);
  if (removed.size() > set.size()) __builtin_trap();
  IsBlankIniText(removed);
  return 0;
}
