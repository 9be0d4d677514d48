#pragma once
// CCritSec: a re-entrant lock whose re-entry by the owning thread is a plain counter increment
// (no atomic read-modify-write, no system call), and CAutoLock, its scoped holder.
// Only the owner ever stores its own id into m_owner, so a thread that reads its own id there
// is certainly the owner; any other thread reads a different id and takes the mutex.
#include <atomic>
#include <mutex>
#include <thread>

class CCritSec {
 public:
  CCritSec() = default;
  CCritSec(const CCritSec&) = delete;
  CCritSec& operator=(const CCritSec&) = delete;

  void Lock() {
    const std::thread::id self = std::this_thread::get_id();
    if (m_owner.load(std::memory_order_relaxed) == self) {
      ++m_depth;
      return;
    }
    m_mutex.lock();
    m_owner.store(self, std::memory_order_relaxed);
    m_depth = 1;
  }
  void Unlock() {
    if (--m_depth == 0) {
      m_owner.store(std::thread::id(), std::memory_order_relaxed);
      m_mutex.unlock();
    }
  }
  bool IsOwnedByCurrentThread() const { return m_owner.load(std::memory_order_relaxed) == std::this_thread::get_id(); }

  // For std::scoped_lock / std::unique_lock and condition_variable_any.
  void lock() { Lock(); }
  void unlock() { Unlock(); }

 private:
  std::mutex m_mutex;
  std::atomic<std::thread::id> m_owner{};
  unsigned m_depth = 0;
};

class CAutoLock {
 public:
  explicit CAutoLock(CCritSec* lock) : m_lock(lock) { m_lock->Lock(); }
  ~CAutoLock() { m_lock->Unlock(); }
  CAutoLock(const CAutoLock&) = delete;
  CAutoLock& operator=(const CAutoLock&) = delete;

 private:
  CCritSec* m_lock;
};

inline bool CritCheckIn(const CCritSec* lock) { return lock->IsOwnedByCurrentThread(); }
inline bool CritCheckOut(const CCritSec* lock) { return !lock->IsOwnedByCurrentThread(); }
