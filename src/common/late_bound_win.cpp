#include "common/late_bound_win.h"

namespace {

struct Row {
  LateBound function;
  const wchar_t* module;
  const char* name;
};

constexpr Row kRows[] = {
    {LateBound::kRtlGenRandom, L"advapi32.dll", "SystemFunction036"},
    {LateBound::kSetDefaultDllDirectories, L"kernel32.dll", "SetDefaultDllDirectories"},
};

}  // namespace

void (*LateBoundAddress(LateBound function))() {
  for (const Row& row : kRows) {
    if (row.function != function) continue;
    const HMODULE module = GetModuleHandleW(row.module);
    return reinterpret_cast<void (*)()>(module ? GetProcAddress(module, row.name) : nullptr);
  }
  return nullptr;
}
