// SplitIniLine and SplitRegLine over arbitrary lines: the first byte picks the install
// folder's length (up to the longest path), whether a CD-ROM drive is found, and which
// splitter runs; the rest is the line.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/section_lists.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string folder = "C:\\" + std::string(data[0] + 1u, 'f');
  const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);
  SetInstallFolderPointer(data[0] == 255 ? nullptr : folder.c_str());
  const CdromRootSource probe = [] { return "Q:\\"; };
  SetCdromRootSource(data[0] & 1 ? nullptr : probe);
  const bool registry = data[0] & 2;

  char first[kSectionLineBuffer], second[kSectionLineBuffer];
  std::memset(first, 'A', sizeof first);
  std::memset(second, 'A', sizeof second);
  const int result = registry ? SplitRegLine(line.c_str(), first, second) : SplitIniLine(line.c_str(), first, second);
  if (result == 0) {
    if (!std::memchr(first, '\0', sizeof first) || !std::memchr(second, '\0', sizeof second)) std::abort();
  } else if (result != -1 || first[0] != 'A' || second[0] != 'A') {
    std::abort();  // a refused line writes nothing
  }
  if (registry) {
    if (const char* unescaped = UnescapeBackslashes(line.c_str())) {
      if (std::strlen(unescaped) > std::strlen(line.c_str())) std::abort();
    }
  } else if (const char* substituted = SubstituteIniPlaceholders(line.c_str())) {
    if (std::strlen(substituted) >= kSectionLineBuffer) std::abort();
  }
  return 0;
}
