// Functions that not every supported system has, looked up in a module the process has
// already loaded (never a search for a DLL).
#pragma once

#include <windows.h>

// Null when this system lacks the function.
template <class Fn>
Fn LoadedFunction(const wchar_t* module, const char* name) {
  const HMODULE handle = GetModuleHandleW(module);
  const FARPROC proc = handle ? GetProcAddress(handle, name) : nullptr;
  // Through the generic function type, which converts to any other without a warning.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}
