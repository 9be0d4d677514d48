#pragma once
// SpinLock: a lock for the per-sample path. Taking it free is one atomic exchange and giving it
// back a plain store, so a lock/unlock pair costs one locked instruction where a mutex costs two;
// on the per-packet path that difference is most of the framework's cost.
// A thread that finds it held spins briefly, then yields (the holder may have been preempted on
// a busy machine), then sleeps in growing steps up to a millisecond, so a lock held for long (a
// delivery waiting for a downstream buffer) costs its waiters little processor time; the price
// is up to a millisecond of extra latency for a waiter that came at such a moment.
#include <atomic>
#include <chrono>
#include <thread>

class SpinLock {
 public:
  SpinLock() = default;
  SpinLock(const SpinLock&) = delete;
  SpinLock& operator=(const SpinLock&) = delete;

  void lock() {
    while (m_held.exchange(true, std::memory_order_acquire)) WaitUntilFree();
  }
  bool try_lock() { return !m_held.load(std::memory_order_relaxed) && !m_held.exchange(true, std::memory_order_acquire); }
  void unlock() { m_held.store(false, std::memory_order_release); }

 private:
  void WaitUntilFree() const {
    std::chrono::microseconds nap{kFirstNap};
    for (int tries = 0; m_held.load(std::memory_order_relaxed); ++tries) {
      if (tries < kSpins) {
        Pause();
      } else if (tries < kSpins + kYields) {
        std::this_thread::yield();
      } else {
        std::this_thread::sleep_for(nap);
        if (nap < kLongestNap) nap *= 2;
      }
    }
  }
  static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
  }

  static constexpr int kSpins = 64;
  static constexpr int kYields = 64;
  static constexpr std::chrono::microseconds kFirstNap{20};
  static constexpr std::chrono::microseconds kLongestNap{1000};
  std::atomic<bool> m_held{false};
};
