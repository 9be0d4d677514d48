#pragma once
// One thread's message queue: posted messages, calls sent from other threads, the quit flag and
// the thread's timers. Any thread may add to it; only the owner thread takes from it.
//
// Invariant: m_lock guards every member below it, and no window or timer procedure, nor the wake
// callback, is ever called while m_lock is held (a procedure may post to its own queue).
// A SentMessage lives on the stack of the waiting sender; the owner completes it (or, when the
// owner thread ends, Shutdown does) under the sender's queue lock and wakes the sender.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win/types.h"

class MessageQueue;

struct SentMessage {
  MSG msg;
  LRESULT result = 0;
  bool done = false;  // guarded by the sender's queue lock
  MessageQueue* sender = nullptr;
};

class MessageQueue {
 public:
  using Clock = std::chrono::steady_clock;

  explicit MessageQueue(DWORD threadId) : m_threadId(threadId) {}

  // The calling thread's queue, made on first use and unregistered when the thread ends.
  static std::shared_ptr<MessageQueue> ForCurrentThread();
  // An existing queue of a thread, nullptr when it has none (yet, or any more).
  static std::shared_ptr<MessageQueue> ForThread(DWORD threadId);

  DWORD ThreadId() const { return m_threadId; }

  // Posted messages a queue holds at most (as on Windows), so a runaway poster cannot use up memory.
  static constexpr std::size_t kMaxPostedMessages = 10000;

  // Any thread. False once the owner thread has ended, or when the queue is full.
  bool Post(const MSG& msg);
  bool PostQuit(int exitCode);
  // Sender's thread: queues the call on this (another thread's) queue and waits for its result,
  // serving calls sent to the sender's own queue meanwhile.
  LRESULT SendAndWait(const MSG& msg);

  // Owner thread: the next message by the order in messages.h; false when none (wait == false).
  bool Take(MSG* msg, HWND filterWindow, UINT filterMin, UINT filterMax, bool remove, bool wait);

  UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds, TIMERPROC timerProc);
  bool KillTimer(HWND hwnd, UINT_PTR id);
  // Drops a destroyed window's timers and posted messages.
  void ForgetWindow(HWND hwnd);
  DWORD TimeToNextTimer();
  void SetWakeCallback(std::function<void()> wake);

  // At the owner thread's end: refuses new messages and releases every waiting sender.
  void Shutdown();

 private:
  struct Timer {
    HWND hwnd;
    UINT_PTR id;
    Clock::duration period;
    Clock::time_point due;
    TIMERPROC timerProc;
  };

  // Under m_lock: the timer due first among those the filter lets through, nullptr when none.
  Timer* EarliestTimer(HWND filterWindow, UINT filterMin, UINT filterMax);
  bool Matches(const MSG& msg, HWND filterWindow, UINT filterMin, UINT filterMax) const;
  // Under m_lock: the next message that needs no serving; false when none is ready.
  bool TakeReadyLocked(MSG* msg, HWND filterWindow, UINT filterMin, UINT filterMax, bool remove);
  // Owner thread, without m_lock: runs a call sent from another thread and releases its sender.
  static void Serve(SentMessage* sent);
  void Wake(std::unique_lock<std::mutex>& lock);

  const DWORD m_threadId;
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_shutDown = false;
  std::deque<MSG> m_posted;
  std::deque<SentMessage*> m_sent;
  bool m_quit = false;
  int m_quitCode = 0;
  std::vector<Timer> m_timers;
  UINT_PTR m_nextThreadTimerId = 0x7FFF0000;
  std::function<void()> m_wake;
};
