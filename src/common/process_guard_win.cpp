#include "common/process_guard_win.h"

#include <windows.h>

#include "common/late_bound_win.h"

void GuardProcess() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto set_default = LateBoundFunction<SetDefaultDllDirectoriesFn>(LateBound::kSetDefaultDllDirectories);
  if (!set_default || !set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}
