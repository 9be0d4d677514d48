#pragma once
// CAMEvent: a Win32-style event. A manual-reset event stays set until Reset; an auto-reset event
// releases one waiter and clears itself.
#include <condition_variable>
#include <mutex>

#include "platform/com/types.h"
#include "platform/win/types.h"  // INFINITE

class CAMEvent {
 public:
  explicit CAMEvent(bool manualReset = false) : m_manualReset(manualReset) {}
  CAMEvent(const CAMEvent&) = delete;
  CAMEvent& operator=(const CAMEvent&) = delete;

  void Set();
  void Reset();
  // True when the event was (or became) set within timeoutMs; INFINITE waits for ever.
  bool Wait(DWORD timeoutMs = INFINITE);
  bool Check() { return Wait(0); }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_set = false;
  const bool m_manualReset;
};
