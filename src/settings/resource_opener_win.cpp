#include "settings/resource_opener_win.h"

#include <windows.h>

#include <cstdlib>

#include "common/message_win.h"

namespace {

CRITICAL_SECTION g_lock;
bool g_lock_created = false;

void DeleteLock() { DeleteCriticalSection(&g_lock); }

void EnsureLock() {
  if (g_lock_created) return;
  InitializeCriticalSection(&g_lock);
  g_lock_created = true;
  std::atexit(DeleteLock);
}

class LockHolder {
 public:
  LockHolder() { EnterCriticalSection(&g_lock); }
  ~LockHolder() { LeaveCriticalSection(&g_lock); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
};

std::FILE* LockedAttempt(const char* path, const char* mode) {
  LockHolder hold;
  return AttemptOpenSetupFile(path, mode);
}

}  // namespace

std::FILE* OpenSetupFile(const char* path, const char* mode) {
  EnsureLock();
  std::FILE* file = LockedAttempt(path, mode);
  // The box is shown with the lock released: the user may take a while to answer.
  while (!file) {
    RetryAbortBox("Ffopen : ファイル[%s]の読み込みで失敗しました", path);
    file = LockedAttempt(path, mode);
  }
  return file;
}

int SetupFileExists(const char* path) {
  EnsureLock();
  char result[kPathBuffer];
  LockHolder hold;
  return FindSetupFile(path, result) ? 1 : 0;
}
