#include "common/thread_sync.h"

#include <windows.h>

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "the system's lock and condition variable are one pointer each");

namespace {
SRWLOCK* Lock(void** state) { return reinterpret_cast<SRWLOCK*>(state); }
}  // namespace

void SyncLock::lock() { AcquireSRWLockExclusive(Lock(&state_)); }
void SyncLock::unlock() { ReleaseSRWLockExclusive(Lock(&state_)); }

void SyncCondition::Wait(std::unique_lock<SyncLock>& lock) {
  SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&state_), Lock(&lock.mutex()->state_), INFINITE, 0);
}

void SyncCondition::WaitFor(std::unique_lock<SyncLock>& lock, unsigned milliseconds) {
  SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&state_), Lock(&lock.mutex()->state_),
                            static_cast<DWORD>(milliseconds), 0);
}

void SyncCondition::WakeAll() { WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&state_)); }
