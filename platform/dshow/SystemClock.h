#pragma once
// CSystemClock: the reference clock of a graph, the monotonic system clock in 100-ns units.
// Advise requests signal a CAMEvent (passed as HEVENT/HSEMAPHORE) from the clock's own thread,
// which exists only while requests are pending.
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/dshow/ComBase.h"
#include "platform/dshow/Interfaces.h"

class CSystemClock : public CUnknown, public IReferenceClock {
 public:
  CSystemClock(const char* name, IUnknown* outer, HRESULT* result);
  ~CSystemClock() override;
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP GetTime(REFERENCE_TIME* time) override;
  STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event, DWORD_PTR* cookie) override;
  STDMETHODIMP AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                              DWORD_PTR* cookie) override;
  STDMETHODIMP Unadvise(DWORD_PTR cookie) override;

  static REFERENCE_TIME Now();

 private:
  struct Advise {
    REFERENCE_TIME due;
    REFERENCE_TIME period;  // 0 for a one-shot request
    DWORD_PTR event;        // CAMEvent*
  };
  HRESULT AddAdvise(const Advise& advise, DWORD_PTR* cookie);
  void AdviseLoop();

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<DWORD_PTR, Advise> m_advises;
  DWORD_PTR m_nextCookie = 1;
  bool m_exit = false;
  std::thread m_thread;
};
