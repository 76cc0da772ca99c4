#include "common/process_guard_win.h"

#include <windows.h>

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// Older systems lack the function (it came with an update to Windows 7): looked up, not
// imported, so the program still starts there.
SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return nullptr;
  // Through void (*)(), the type that stands for any function, to the real signature.
  return reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
}

}  // namespace

void GuardProcess() {
  const SetDefaultDllDirectoriesFunction set_default = FindSetDefaultDllDirectories();
  if (!set_default || !set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}
