#pragma once
// A filter without pins that offers a clock of its own (as an audio renderer would, but without
// saying it renders, so the graph never chooses it by itself).
#include "platform/com/comptr.h"
#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/SystemClock.h"

namespace testfilters {

class ClockFilter final : public CBaseFilter, public IReferenceClock {
 public:
  ClockFilter() : CBaseFilter("clock filter", nullptr, &m_lock, GUID_NULL) {
    CSystemClock::CreateInstance(nullptr, IID_PPV_ARGS(m_inner.GetAddressOf()));
  }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IReferenceClock::kIid) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
  }
  int GetPinCount() override { return 0; }
  CBasePin* GetPin(int) override { return nullptr; }

  // The filter as the graph holds it (one reference, owned by the caller).
  static ComPtr<IBaseFilter> Make(ClockFilter** created = nullptr) {
    auto* filter = new ClockFilter;
    ComPtr<IBaseFilter> held;
    filter->NonDelegatingQueryInterface(IBaseFilter::kIid, reinterpret_cast<void**>(held.GetAddressOf()));
    if (created) *created = filter;
    return held;
  }

  STDMETHODIMP GetTime(REFERENCE_TIME* time) override { return m_inner->GetTime(time); }
  STDMETHODIMP AdviseTime(REFERENCE_TIME base, REFERENCE_TIME stream, HEVENT event, DWORD_PTR* cookie) override {
    return m_inner->AdviseTime(base, stream, event, cookie);
  }
  STDMETHODIMP AdvisePeriodic(REFERENCE_TIME start, REFERENCE_TIME period, HSEMAPHORE semaphore,
                              DWORD_PTR* cookie) override {
    return m_inner->AdvisePeriodic(start, period, semaphore, cookie);
  }
  STDMETHODIMP Unadvise(DWORD_PTR cookie) override { return m_inner->Unadvise(cookie); }

 private:
  CCritSec m_lock;
  ComPtr<IReferenceClock> m_inner;
};

}  // namespace testfilters
