// The system functions both programs look up by name instead of importing: each row says why.
// Everything else the programs call is on every supported system (Vista and later) and is
// imported. The lookup is in a module the process has already loaded, never a search for a DLL.
#pragma once

#include <windows.h>

enum class LateBound {
  kRtlGenRandom,              // advapi32 "SystemFunction036": a name the system may drop some day
  kSetDefaultDllDirectories,  // kernel32; not on a plain Vista or 7 (it came with an update)
};

// The function's address as the generic function type; null where this system lacks it.
void (*LateBoundAddress(LateBound function))();

// The same as `Fn`, the function's own type: the caller's declaration must match the row.
template <class Fn>
Fn LateBoundFunction(LateBound function) {
  // From the generic function type, which converts to any other without a warning.
  return reinterpret_cast<Fn>(LateBoundAddress(function));
}
