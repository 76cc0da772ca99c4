#include "common/single_instance_win.h"

#include <windows.h>

#include <cstdio>

#include "common/message_win.h"

InstanceStatus TakeSingleInstance(const char* name, const char* caption) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
  if (!mutex) {
    ErrorBox(kNoInstanceCheckText, name);
    return InstanceStatus::kNoMutex;
  }
  if (GetLastError() != ERROR_ALREADY_EXISTS) return InstanceStatus::kOnly;
  char text[kMessageBuffer];
  std::snprintf(text, sizeof text, "[ %s ] は既に起動中です", name);
  MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR);
  return InstanceStatus::kAlreadyRunning;
}

bool InheritSingleInstance(const char* name, unsigned long timeout_ms) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (!mutex) return false;
  const DWORD waited = WaitForSingleObject(mutex, timeout_ms);
  return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}
