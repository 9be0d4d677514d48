#pragma once
// CBaseFilter: a filter's state machine (stopped, paused, running), its reference clock, its
// graph membership and event notification. Derived filters supply their pins through
// GetPinCount/GetPin. Pause from stopped activates every connected pin (Active), Stop
// deactivates them (Inactive); the graph calls Stop and Pause on downstream filters first.
//
// The graph and its event sink are not counted references (the graph holds the filter).
// m_pLock is the filter's state lock; it is taken by state changes and connections.
#include <atomic>

#include "platform/dshow/ComBase.h"
#include "platform/dshow/CritSec.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/RefTime.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter {
 public:
  CBaseFilter(const char* name, IUnknown* outer, CCritSec* lock, REFCLSID clsid, HRESULT* result = nullptr);
  ~CBaseFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IPersist
  STDMETHODIMP GetClassID(CLSID* classId) override;
  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD milliSecsTimeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  // Finds a pin by its id (QueryId), which is its name unless the pin says otherwise.
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;

  virtual int GetPinCount() = 0;
  // Pin n (0-based), not a counted reference; null when out of range.
  virtual CBasePin* GetPin(int n) = 0;
  // Changes whenever pins are added or removed, so enumerators can tell.
  virtual LONG GetPinVersion() { return m_PinVersion.load(); }
  void IncrementPinVersion() { ++m_PinVersion; }

  // Current stream time: the clock's time minus the run start (VFW_E_NO_CLOCK without a clock).
  HRESULT StreamTime(CRefTime& time);
  bool IsActive() const { return m_State != State_Stopped; }
  bool IsStopped() const { return m_State == State_Stopped; }
  FILTER_STATE State() const { return m_State; }
  // Reports an event to the graph (E_NOTIMPL outside a graph with events).
  HRESULT NotifyEvent(LONG eventCode, LONG_PTR param1, LONG_PTR param2);
  IFilterGraph* GetFilterGraph() const { return m_pGraph; }
  LPCWSTR FilterName() const { return m_pName; }
  // Asks the graph to reconnect a pin (with a new type).
  HRESULT ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* type);
  CCritSec* FilterLock() const { return m_pLock; }

 protected:
  std::atomic<FILTER_STATE> m_State{State_Stopped};
  IReferenceClock* m_pClock = nullptr;  // counted reference
  CRefTime m_tStart;
  CLSID m_clsid;
  CCritSec* m_pLock;
  WCHAR* m_pName = nullptr;
  IFilterGraph* m_pGraph = nullptr;     // not counted
  IMediaEventSink* m_pSink = nullptr;   // not counted
  std::atomic<LONG> m_PinVersion{1};
};
