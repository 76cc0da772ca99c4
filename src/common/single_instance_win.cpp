#include "common/single_instance_win.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/message_win.h"
#include "common/wide_win.h"

namespace {

// The name goes to the system in UTF-16: in CP932 the trail byte of ソ or 表 is '\', which
// the system would read as a namespace separator. A real backslash in the title still
// makes the call fail, as it always did.
HANDLE OpenNamedMutex(const char* name, BOOL take) {
  std::wstring wide;
  if (!WidenCp932(name, &wide)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return nullptr;
  }
  return CreateMutexW(nullptr, take, wide.c_str());
}

}  // namespace

InstanceStatus TakeSingleInstance(const char* name, const char* caption) {
  HANDLE mutex = OpenNamedMutex(name, TRUE);
  if (!mutex) {
    ErrorBox(kNoInstanceCheckText, name);
    return InstanceStatus::kNoMutex;
  }
  if (GetLastError() != ERROR_ALREADY_EXISTS) return InstanceStatus::kOnly;
  char text[kMessageBuffer];
  std::snprintf(text, sizeof text, "[ %s ] は既に起動中です", name);
  MessageBoxCp932(nullptr, text, caption, MB_OK | MB_ICONERROR);
  return InstanceStatus::kAlreadyRunning;
}

bool InheritSingleInstance(const char* name, unsigned long timeout_ms) {
  HANDLE mutex = OpenNamedMutex(name, FALSE);
  if (!mutex) return false;
  const DWORD waited = WaitForSingleObject(mutex, timeout_ms);
  return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}
