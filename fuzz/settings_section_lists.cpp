// The section reader over arbitrary bytes, then every stored [ini] and [reg] line split
// with the longest install folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/section_lists.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
  if (!file) return 0;
  ClearAllSectionLists();
  Section open = kSectionNone;
  const SectionFileStatus status = ReadSectionStream(file, &open, [](const SectionLineEvent& event) {
    if (std::strlen(event.line) >= kSectionLineBuffer) std::abort();
  });
  std::fclose(file);
  if ((status == SectionFileStatus::kUnterminated) != (open != kSectionNone)) std::abort();

  static const std::string folder = "C:\\" + std::string(256, 'f');
  SetInstallFolderPointer(folder.c_str());
  char first[kSectionLineBuffer], second[kSectionLineBuffer];
  for (const SectionLine* line = SectionListHead(kSectionIni); line; line = line->next) {
    if (SplitIniLine(line->text, first, second) == 0 &&
        (std::strlen(first) >= kSectionLineBuffer || std::strlen(second) >= kSectionLineBuffer)) {
      std::abort();
    }
  }
  for (const SectionLine* line = SectionListHead(kSectionReg); line; line = line->next) {
    if (SplitRegLine(line->text, first, second) == 0 &&
        (std::strlen(first) >= kSectionLineBuffer || std::strlen(second) >= kSectionLineBuffer)) {
      std::abort();
    }
  }
  SetInstallFolderPointer(nullptr);
  return 0;
}
