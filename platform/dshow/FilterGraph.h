#pragma once
// CFilterGraph: the filter graph manager (CLSID_FilterGraph), a built-in class.
//
// Building: AddFilter gives every filter a unique name (a taken name gets " 0001", " 0002", ...
// and VFW_S_DUPLICATE_NAME); RemoveFilter disconnects the filter first. Render connects an
// output pin to a free input pin of a filter already in the graph before it tries registered
// filters: filters with output pins first (most recently added first), then sinks (a sink
// whose file name fits the pin's media kind first, then in the order they were added). After
// connecting to a filter it renders that filter's free output pins in their enumeration
// order; a filter whose outputs all fail to render is disconnected again and the next one tried.
// Registered filters (merit above MERIT_DO_NOT_USE, highest first) are created and added under
// their friendly name only when no filter of the graph will do; one that does not help is removed.
//
// State changes: Pause and Run go to the sinks first and the sources last, so every filter is
// ready before data reaches it; Stop goes to the sources first, so nothing is in flight when a
// filter below stops, and a filter may still write through a downstream pin in its own Stop
// (the WAV writer writes its header so). At the first start the graph chooses a clock (a
// renderer's, else the system clock) unless one was set with SetSyncSource.
//
// Events: filters report through IMediaEventSink. Each sink (a filter with a connected input
// pin and no output pins, or one that says it renders) reports EC_COMPLETE at end of stream;
// the graph queues one EC_COMPLETE once every sink has reported (counting restarts with every
// start from stopped and every seek). Other events are queued as they come. Every queued event
// posts the message given to SetNotifyWindow (wParam 0, lParam the instance data).
//
// IMediaSeeking is forwarded to the most upstream filters that offer it (the sources).
//
// Locks: m_graphLock (re-entrant) serialises building and state changes and may be re-entered
// by a filter calling back on the same thread; streaming threads never take it. m_eventLock
// guards the event queue and the completion count and is never held while calling out.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/dshow/ComBase.h"
#include "platform/dshow/CritSec.h"
#include "platform/dshow/GraphInterfaces.h"

class CFilterGraph : public CUnknown,
                     public IGraphBuilder,
                     public IMediaControl,
                     public IMediaSeeking,
                     public IMediaEventEx,
                     public IMediaEventSink,
                     public IMediaFilter {
 public:
  CFilterGraph(IUnknown* outer, HRESULT* result);
  ~CFilterGraph() override;
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IFilterGraph
  STDMETHODIMP AddFilter(IBaseFilter* filter, LPCWSTR name) override;
  STDMETHODIMP RemoveFilter(IBaseFilter* filter) override;
  STDMETHODIMP EnumFilters(IEnumFilters** filters) override;
  STDMETHODIMP FindFilterByName(LPCWSTR name, IBaseFilter** filter) override;
  STDMETHODIMP ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Reconnect(IPin* pin) override;
  STDMETHODIMP Disconnect(IPin* pin) override;
  STDMETHODIMP SetDefaultSyncSource() override;
  // IGraphBuilder
  STDMETHODIMP Connect(IPin* out, IPin* in) override;
  STDMETHODIMP Render(IPin* out) override;
  STDMETHODIMP RenderFile(LPCWSTR file, LPCWSTR playList) override;
  STDMETHODIMP AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) override;
  STDMETHODIMP SetLogFile(DWORD_PTR file) override;
  STDMETHODIMP Abort() override;
  STDMETHODIMP ShouldOperationContinue() override;
  // IMediaControl and IMediaFilter
  STDMETHODIMP Run() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP GetState(LONG msTimeout, OAFilterState* state) override;
  STDMETHODIMP StopWhenReady() override;
  STDMETHODIMP GetClassID(CLSID* classId) override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD msTimeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  // IMediaSeeking
  STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
  STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
  STDMETHODIMP IsFormatSupported(const GUID* format) override;
  STDMETHODIMP QueryPreferredFormat(GUID* format) override;
  STDMETHODIMP GetTimeFormat(GUID* format) override;
  STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
  STDMETHODIMP SetTimeFormat(const GUID* format) override;
  STDMETHODIMP GetDuration(LONGLONG* duration) override;
  STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
  STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
  STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                 const GUID* sourceFormat) override;
  STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
  STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
  STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
  STDMETHODIMP SetRate(double rate) override;
  STDMETHODIMP GetRate(double* rate) override;
  STDMETHODIMP GetPreroll(LONGLONG* preroll) override;
  // IMediaEvent / IMediaEventEx
  STDMETHODIMP GetEventHandle(OAEVENT* event) override;
  STDMETHODIMP GetEvent(LONG* eventCode, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) override;
  STDMETHODIMP WaitForCompletion(LONG msTimeout, LONG* eventCode) override;
  STDMETHODIMP CancelDefaultHandling(LONG eventCode) override;
  STDMETHODIMP RestoreDefaultHandling(LONG eventCode) override;
  STDMETHODIMP FreeEventParams(LONG eventCode, LONG_PTR param1, LONG_PTR param2) override;
  STDMETHODIMP SetNotifyWindow(OAHWND window, LONG msg, LONG_PTR instanceData) override;
  STDMETHODIMP SetNotifyFlags(LONG flags) override;
  STDMETHODIMP GetNotifyFlags(LONG* flags) override;
  // IMediaEventSink
  STDMETHODIMP Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2) override;

 private:
  struct Entry {
    ComPtr<IBaseFilter> filter;
    std::u16string name;
  };
  struct Event {
    LONG code;
    LONG_PTR param1;
    LONG_PTR param2;
  };

  std::vector<Entry> Snapshot();
  bool Contains(IBaseFilter* filter);
  std::u16string UniqueName(LPCWSTR wanted, bool* renamed);
  // Filters ordered so that every filter comes before the filters upstream of it.
  std::vector<ComPtr<IBaseFilter>> DownstreamFirst();
  HRESULT PauseLocked();
  HRESULT StopLocked();
  void ChooseClockLocked();
  void StartCompletionCount();

  // Render helpers.
  HRESULT RenderPin(IPin* out, int depth);
  HRESULT TryRenderThrough(IPin* out, IBaseFilter* filter, int depth);
  std::vector<ComPtr<IBaseFilter>> RenderCandidates(IPin* out);
  HRESULT RenderWithRegisteredFilter(IPin* out, int depth);
  std::vector<ComPtr<IMediaSeeking>> Seekers();

  void QueueEvent(const Event& event);

  CCritSec m_graphLock;
  std::vector<Entry> m_filters;  // in the order they were added
  FILTER_STATE m_state = State_Stopped;
  ComPtr<IReferenceClock> m_clock;
  bool m_clockChosen = false;  // set by SetSyncSource, even to none

  std::mutex m_eventLock;
  std::condition_variable m_eventArrived;
  std::deque<Event> m_events;
  std::set<LONG_PTR> m_pendingSinks;  // sinks yet to report EC_COMPLETE in this run
  bool m_countingCompletion = false;
  bool m_defaultCompleteHandling = true;
  LONG m_completionCode = 0;  // EC_COMPLETE, EC_USERABORT or EC_ERRORABORT seen in this run
  OAHWND m_notifyWindow = 0;
  LONG m_notifyMessage = 0;
  LONG_PTR m_notifyInstance = 0;
  LONG m_notifyFlags = 0;
};
