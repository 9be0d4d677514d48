#include "platform/dshow/AmThread.h"

#include "platform/com/hresult.h"

CAMThread::~CAMThread() {
  // A derived class must have ended its thread; joining here is the last resort.
  if (m_thread.joinable()) m_thread.join();
}

bool CAMThread::Create() {
  if (m_thread.joinable()) return false;
  try {
    m_thread = std::thread([this] { ThreadProc(); });
  } catch (...) {
    return false;
  }
  return true;
}

DWORD CAMThread::CallWorker(DWORD request) {
  std::lock_guard access(m_accessLock);
  if (!ThreadExists()) return static_cast<DWORD>(E_FAIL);
  std::unique_lock lock(m_mutex);
  m_request = request;
  m_replied = false;
  m_requestPending.store(true, std::memory_order_release);
  m_changed.notify_all();
  m_changed.wait(lock, [this] { return m_replied; });
  return m_result;
}

void CAMThread::Close() {
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

DWORD CAMThread::GetRequest() {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [this] { return m_requestPending.load(std::memory_order_relaxed); });
  return m_request;
}

bool CAMThread::CheckRequest(DWORD* request) {
  if (!m_requestPending.load(std::memory_order_acquire)) return false;
  std::lock_guard lock(m_mutex);
  if (!m_requestPending.load(std::memory_order_relaxed)) return false;
  if (request) *request = m_request;
  return true;
}

void CAMThread::Reply(DWORD result) {
  {
    std::lock_guard lock(m_mutex);
    m_result = result;
    m_replied = true;
    m_requestPending.store(false, std::memory_order_relaxed);
  }
  m_changed.notify_all();
}
