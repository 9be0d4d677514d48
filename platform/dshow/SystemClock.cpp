#include "platform/dshow/SystemClock.h"

#include <chrono>
#include <new>

#include "platform/dshow/AmEvent.h"

CSystemClock::CSystemClock(const char* name, IUnknown* outer, HRESULT* result) : CUnknown(name, outer, result) {}

CSystemClock::~CSystemClock() {
  {
    std::lock_guard lock(m_mutex);
    m_exit = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

HRESULT CSystemClock::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && riid != IID_IUnknown) return E_INVALIDARG;
  auto* clock = new (std::nothrow) CSystemClock("System clock", outer, nullptr);
  if (!clock) return E_OUTOFMEMORY;
  clock->NonDelegatingAddRef();
  HRESULT hr = clock->NonDelegatingQueryInterface(riid, ppv);
  clock->NonDelegatingRelease();
  return hr;
}

HRESULT CSystemClock::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IReferenceClock::kIid) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

REFERENCE_TIME CSystemClock::Now() {
  using Units = std::chrono::duration<REFERENCE_TIME, std::ratio<1, 10000000>>;
  return std::chrono::duration_cast<Units>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

HRESULT CSystemClock::GetTime(REFERENCE_TIME* time) {
  if (!time) return E_POINTER;
  *time = Now();
  return S_OK;
}

HRESULT CSystemClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event, DWORD_PTR* cookie) {
  if (!cookie || !event) return E_POINTER;
  return AddAdvise({baseTime + streamTime, 0, event}, cookie);
}

HRESULT CSystemClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                                     DWORD_PTR* cookie) {
  if (!cookie || !semaphore) return E_POINTER;
  if (periodTime <= 0) return E_INVALIDARG;
  return AddAdvise({startTime, periodTime, semaphore}, cookie);
}

HRESULT CSystemClock::AddAdvise(const Advise& advise, DWORD_PTR* cookie) {
  {
    std::lock_guard lock(m_mutex);
    *cookie = m_nextCookie++;
    m_advises[*cookie] = advise;
    if (!m_thread.joinable()) {
      try {
        m_thread = std::thread([this] { AdviseLoop(); });
      } catch (...) {
        m_advises.erase(*cookie);
        return E_OUTOFMEMORY;
      }
    }
  }
  m_changed.notify_all();
  return S_OK;
}

HRESULT CSystemClock::Unadvise(DWORD_PTR cookie) {
  std::lock_guard lock(m_mutex);
  return m_advises.erase(cookie) ? S_OK : S_FALSE;
}

void CSystemClock::AdviseLoop() {
  std::unique_lock lock(m_mutex);
  while (!m_exit) {
    REFERENCE_TIME next = INT64_MAX;
    const REFERENCE_TIME now = Now();
    for (auto it = m_advises.begin(); it != m_advises.end();) {
      Advise& advise = it->second;
      if (advise.due <= now) {
        reinterpret_cast<CAMEvent*>(advise.event)->Set();
        if (advise.period == 0) {
          it = m_advises.erase(it);
          continue;
        }
        advise.due += advise.period * ((now - advise.due) / advise.period + 1);
      }
      if (advise.due < next) next = advise.due;
      ++it;
    }
    if (next == INT64_MAX) m_changed.wait(lock);
    else m_changed.wait_for(lock, std::chrono::microseconds((next - now) / 10 + 1));
  }
}
