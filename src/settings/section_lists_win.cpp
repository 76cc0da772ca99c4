#include "settings/section_lists_win.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "common/cp932.h"
#include "common/message_win.h"

void ReadSectionLists(const char* file) {
  // Lines are taken through the allocate service, which reports exhaustion itself.
  SetSectionAllocator(Allocate);
  SetCdromRootSource(FirstCdromRoot);
  Section open = kSectionNone;
  switch (ReadSectionFile(file, &open)) {
    case SectionFileStatus::kRead:
      return;
    case SectionFileStatus::kCannotOpen:
      RetryAbortBox("[%s]ファイルを開けませんでした。", file);
      break;
    case SectionFileStatus::kUnterminated:
      RetryAbortBox("[設定.env]の[%s]が終了していません", SectionName(open));
      break;
    case SectionFileStatus::kOutOfMemory:
      break;
  }
  std::exit(-1);
}

const char* FirstCdromRoot() {
  static char root[kPathBuffer];
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::snprintf(root, sizeof root, "%c:\\", letter);
    const wchar_t wide_root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    if (GetDriveTypeW(wide_root) == DRIVE_CDROM) return root;
  }
  return "E:\\";
}
