#pragma once
// CAMThread: a worker thread that takes commands through a synchronous request/reply channel.
// CallWorker hands one request to the thread and waits for its Reply; one request at a time.
// A request stays pending until the worker replies, so CheckRequest only peeks at it (a loop
// that sees a stop request can return and let the outer loop answer it).
// CheckRequest is a single atomic load when no request is pending, so a worker can poll it
// once per sample at no cost.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/com/types.h"

class CAMThread {
 public:
  CAMThread() = default;
  virtual ~CAMThread();
  CAMThread(const CAMThread&) = delete;
  CAMThread& operator=(const CAMThread&) = delete;

  // Starts the thread running ThreadProc; false when it already runs or cannot start.
  bool Create();
  // Sends a request and waits for the reply; E_FAIL (as DWORD) when there is no thread.
  DWORD CallWorker(DWORD request);
  // Waits for the thread to end (it must have been asked to exit).
  void Close();
  bool ThreadExists() const { return m_thread.joinable(); }

  // Worker side: wait for a request, look for one without waiting, answer it.
  DWORD GetRequest();
  bool CheckRequest(DWORD* request);
  void Reply(DWORD result);

 protected:
  virtual DWORD ThreadProc() = 0;

 private:
  std::mutex m_accessLock;  // one CallWorker at a time
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::atomic<bool> m_requestPending{false};
  bool m_replied = false;
  DWORD m_request = 0;
  DWORD m_result = 0;
  std::thread m_thread;
};
