// A lock and a condition for threads that hand work to each other. On Windows they are the
// system's slim lock and condition variable: the C++ runtime of this tool chain builds its
// own on kernel events, a system call for every wait and wake, and under Wine a round trip to
// its server each, which cost the threaded install walk more than it gained.
#pragma once

#include <mutex>
#ifndef _WIN32
#include <chrono>
#include <condition_variable>
#endif

#ifdef _WIN32
class SyncLock {
 public:
  SyncLock() = default;
  SyncLock(const SyncLock&) = delete;
  SyncLock& operator=(const SyncLock&) = delete;
  void lock();
  void unlock();

 private:
  friend class SyncCondition;
  void* state_ = nullptr;  // the system's lock, which starts out all zero
};
#else
using SyncLock = std::mutex;
#endif

class SyncCondition {
 public:
  SyncCondition() = default;
  SyncCondition(const SyncCondition&) = delete;
  SyncCondition& operator=(const SyncCondition&) = delete;
  // May return without a wake-up: callers wait in a loop on their own condition.
  void Wait(std::unique_lock<SyncLock>& lock);
  // The same, but back after `milliseconds` at the latest.
  void WaitFor(std::unique_lock<SyncLock>& lock, unsigned milliseconds);
  void WakeAll();

 private:
#ifdef _WIN32
  void* state_ = nullptr;  // the system's condition variable, all zero at first
#else
  std::condition_variable condition_;
#endif
};

#ifndef _WIN32
inline void SyncCondition::Wait(std::unique_lock<SyncLock>& lock) { condition_.wait(lock); }
inline void SyncCondition::WaitFor(std::unique_lock<SyncLock>& lock, unsigned milliseconds) {
  condition_.wait_for(lock, std::chrono::milliseconds(milliseconds));
}
inline void SyncCondition::WakeAll() { condition_.notify_all(); }
#endif
