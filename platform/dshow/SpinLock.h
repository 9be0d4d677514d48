#pragma once
// SpinLock: a lock for critical sections of a few instructions that never block (the sample
// pool's free list). Taking it is one atomic exchange and giving it back a plain store, so a
// lock/unlock pair costs one locked instruction where a mutex costs two; on the per-sample path
// that difference is most of the framework's cost. A thread that finds it held spins briefly
// and then yields, because the holder may have been preempted on a busy machine.
// Never call out, wait or allocate while holding it.
#include <atomic>
#include <thread>

class SpinLock {
 public:
  SpinLock() = default;
  SpinLock(const SpinLock&) = delete;
  SpinLock& operator=(const SpinLock&) = delete;

  void lock() {
    while (m_held.exchange(true, std::memory_order_acquire)) WaitUntilFree();
  }
  void unlock() { m_held.store(false, std::memory_order_release); }

 private:
  void WaitUntilFree() const {
    for (int spins = 0; m_held.load(std::memory_order_relaxed); ++spins) {
      if (spins < kSpinsBeforeYield) {
        Pause();
      } else {
        std::this_thread::yield();
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

  static constexpr int kSpinsBeforeYield = 64;
  std::atomic<bool> m_held{false};
};
