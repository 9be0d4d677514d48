#pragma once
// A minimal graph for filter tests: filters join it and report their events to it; it drives
// state changes (downstream filters first, in the reverse order of addition) and lets a test
// wait for events. Pins are disconnected when it is destroyed, so filters are freed.
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/dshow/GraphInterfaces.h"

struct TestEvent {
  LONG code;
  LONG_PTR param1;
  LONG_PTR param2;
};

class TestGraph final : public ComObject<IFilterGraph, IMediaEventSink> {
 public:
  static ComPtr<TestGraph> Create();

  // Filters are added upstream first.
  STDMETHODIMP AddFilter(IBaseFilter* filter, LPCWSTR name) override;
  STDMETHODIMP RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
  STDMETHODIMP FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  STDMETHODIMP ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) override { return out->Connect(in, type); }
  STDMETHODIMP Reconnect(IPin*) override { return E_NOTIMPL; }
  STDMETHODIMP Disconnect(IPin* pin) override { return pin->Disconnect(); }
  STDMETHODIMP SetDefaultSyncSource() override { return S_OK; }
  STDMETHODIMP Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override;

  HRESULT Run();
  HRESULT Stop();
  // Waits until `count` events of `code` have arrived (false after the timeout).
  bool WaitForEvents(LONG code, std::size_t count, int timeoutSeconds = 60);
  std::vector<TestEvent> Events();
  // Disconnects every pin and leaves the filters (also done by the destructor).
  void TearDown();

 private:
  TestGraph() = default;
  ~TestGraph() override;

  std::vector<ComPtr<IBaseFilter>> m_filters;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<TestEvent> m_events;
};

// Finds a pin by name; fails the test's expectations when it is missing.
ComPtr<IPin> FindPin(IBaseFilter* filter, const char16_t* name);
