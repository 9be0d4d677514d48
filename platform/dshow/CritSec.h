#pragma once
// CCritSec: a re-entrant lock whose re-entry by the owning thread is a plain counter increment
// (no atomic read-modify-write, no system call), and CAutoLock, its scoped holder.
// Only the owner ever stores its own id into m_owner, so a thread that reads its own id there
// is certainly the owner; any other thread reads a different id and takes the inner lock.
//
// CSpinCritSec is the same over a SpinLock: for the few locks taken once per packet on the
// streaming path (a demultiplexer's receive lock, a source's pin and filter locks), where a
// mutex's second locked instruction is a large share of the packet's cost.
#include <atomic>
#include <mutex>
#include <thread>

#include "platform/dshow/SpinLock.h"

template <class Inner>
class BasicCritSec {
 public:
  BasicCritSec() = default;
  BasicCritSec(const BasicCritSec&) = delete;
  BasicCritSec& operator=(const BasicCritSec&) = delete;

  void Lock() {
    const std::thread::id self = std::this_thread::get_id();
    if (m_owner.load(std::memory_order_relaxed) == self) {
      ++m_depth;
      return;
    }
    m_inner.lock();
    m_owner.store(self, std::memory_order_relaxed);
    m_depth = 1;
  }
  void Unlock() {
    if (--m_depth == 0) {
      m_owner.store(std::thread::id(), std::memory_order_relaxed);
      m_inner.unlock();
    }
  }
  bool IsOwnedByCurrentThread() const { return m_owner.load(std::memory_order_relaxed) == std::this_thread::get_id(); }

  // For std::lock_guard / std::unique_lock and condition_variable_any.
  void lock() { Lock(); }
  void unlock() { Unlock(); }

 private:
  Inner m_inner;
  std::atomic<std::thread::id> m_owner{};
  unsigned m_depth = 0;
};

using CCritSec = BasicCritSec<std::mutex>;
using CSpinCritSec = BasicCritSec<SpinLock>;

// `CAutoLock lock(&m_lock);` holds either kind of lock for its scope.
template <class Lock = CCritSec>
class CAutoLock {
 public:
  explicit CAutoLock(Lock* lock) : m_lock(lock) { m_lock->Lock(); }
  ~CAutoLock() { m_lock->Unlock(); }
  CAutoLock(const CAutoLock&) = delete;
  CAutoLock& operator=(const CAutoLock&) = delete;

 private:
  Lock* m_lock;
};

template <class Inner>
inline bool CritCheckIn(const BasicCritSec<Inner>* lock) { return lock->IsOwnedByCurrentThread(); }
template <class Inner>
inline bool CritCheckOut(const BasicCritSec<Inner>* lock) { return !lock->IsOwnedByCurrentThread(); }
