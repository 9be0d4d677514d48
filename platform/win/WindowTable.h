#pragma once
// The process-wide table of windows: handle -> owner thread, procedure and user pointer.
// Lookups hand out shared references, so a procedure is never called under the table's lock.
#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/win/types.h"

class MessageQueue;

struct Window {
  HWND handle = 0;
  DWORD threadId = 0;
  WindowProcedure proc;
  std::atomic<void*> userData{nullptr};
  std::weak_ptr<MessageQueue> queue;
  std::atomic<bool> destroying{false};
};

class WindowTable {
 public:
  static WindowTable& Instance();

  HWND Add(std::shared_ptr<Window> window);
  std::shared_ptr<Window> Find(HWND hwnd) const;
  void Remove(HWND hwnd);
  // Removes every window of a thread (at the thread's end); returns their handles.
  std::vector<HWND> RemoveThreadWindows(DWORD threadId);

 private:
  mutable std::mutex m_lock;
  std::unordered_map<HWND, std::shared_ptr<Window>> m_windows;
  HWND m_nextHandle = 0x10002;  // even numbers, never reused
};
