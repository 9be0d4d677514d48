#include "platform/dshow/AmEvent.h"

#include <chrono>

void CAMEvent::Set() {
  {
    std::lock_guard lock(m_mutex);
    m_set = true;
  }
  if (m_manualReset) m_changed.notify_all();
  else m_changed.notify_one();
}

void CAMEvent::Reset() {
  std::lock_guard lock(m_mutex);
  m_set = false;
}

bool CAMEvent::Wait(DWORD timeoutMs) {
  std::unique_lock lock(m_mutex);
  auto isSet = [this] { return m_set; };
  if (timeoutMs == INFINITE) {
    m_changed.wait(lock, isSet);
  } else if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSet)) {
    return false;
  }
  if (!m_manualReset) m_set = false;
  return true;
}
