#include "platform/dshow/BaseFilter.h"

#include <cstring>
#include <new>

#include "platform/com/comptr.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/BasePin.h"
#include "platform/dshow/EnumPins.h"

namespace {

WCHAR* DuplicateName(LPCWSTR name) {
  if (!name) return nullptr;
  size_t length = WideLength(name);
  auto* copy = new (std::nothrow) WCHAR[length + 1];
  if (copy) std::memcpy(copy, name, (length + 1) * sizeof(WCHAR));
  return copy;
}

}  // namespace

CBaseFilter::CBaseFilter(const char* name, IUnknown* outer, CCritSec* lock, REFCLSID clsid, HRESULT* result)
    : CUnknown(name, outer, result), m_clsid(clsid), m_pLock(lock) {}

CBaseFilter::~CBaseFilter() {
  delete[] m_pName;
  if (m_pClock) m_pClock->Release();
}

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IBaseFilter::kIid) return GetInterface(static_cast<IBaseFilter*>(this), ppv);
  if (riid == IMediaFilter::kIid) return GetInterface(static_cast<IMediaFilter*>(this), ppv);
  if (riid == IPersist::kIid) return GetInterface(static_cast<IPersist*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseFilter::GetClassID(CLSID* classId) {
  if (!classId) return E_POINTER;
  *classId = m_clsid;
  return S_OK;
}

HRESULT CBaseFilter::Stop() {
  CAutoLock lock(m_pLock);
  HRESULT result = S_OK;
  if (m_State != State_Stopped) {
    const int count = GetPinCount();
    for (int i = 0; i < count; ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        HRESULT hr = pin->Inactive();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
      }
    }
  }
  m_State = State_Stopped;
  return result;
}

HRESULT CBaseFilter::Pause() {
  CAutoLock lock(m_pLock);
  if (m_State == State_Stopped) {
    const int count = GetPinCount();
    for (int i = 0; i < count; ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        HRESULT hr = pin->Active();
        if (FAILED(hr)) return hr;
      }
    }
  }
  m_State = State_Paused;
  return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME start) {
  CAutoLock lock(m_pLock);
  if (m_State == State_Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  m_tStart = start;
  if (m_State == State_Paused) {
    const int count = GetPinCount();
    for (int i = 0; i < count; ++i) {
      CBasePin* pin = GetPin(i);
      if (pin && pin->IsConnected()) {
        HRESULT hr = pin->Run(start);
        if (FAILED(hr)) return hr;
      }
    }
  }
  m_State = State_Running;
  return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD /*milliSecsTimeout*/, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = m_State;
  return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  CAutoLock lock(m_pLock);
  if (clock) clock->AddRef();
  if (m_pClock) m_pClock->Release();
  m_pClock = clock;
  return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  CAutoLock lock(m_pLock);
  *clock = m_pClock;
  if (m_pClock) m_pClock->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  *pins = new (std::nothrow) CEnumPins(this, nullptr);
  return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  CAutoLock lock(m_pLock);
  const int count = GetPinCount();
  const std::u16string_view wanted(id);
  for (int i = 0; i < count; ++i) {
    CBasePin* candidate = GetPin(i);
    if (!candidate) continue;
    LPWSTR candidateId = nullptr;
    if (FAILED(candidate->QueryId(&candidateId))) continue;
    const bool same = candidateId && wanted == std::u16string_view(candidateId);
    CoTaskMemFree(candidateId);
    if (same) {
      *pin = candidate;
      candidate->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  std::memset(info->achName, 0, sizeof(info->achName));
  if (m_pName) {
    size_t length = WideLength(m_pName);
    if (length >= MAX_FILTER_NAME) length = MAX_FILTER_NAME - 1;
    std::memcpy(info->achName, m_pName, length * sizeof(WCHAR));
  }
  info->pGraph = m_pGraph;
  if (m_pGraph) m_pGraph->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  CAutoLock lock(m_pLock);
  m_pGraph = graph;
  m_pSink = nullptr;
  if (graph) {
    // Held without a count: the graph outlives its membership and holds the filter.
    IMediaEventSink* sink = nullptr;
    if (SUCCEEDED(graph->QueryInterface(IMediaEventSink::kIid, reinterpret_cast<void**>(&sink)))) {
      m_pSink = sink;
      sink->Release();
    }
  }
  delete[] m_pName;
  m_pName = DuplicateName(name);
  if (name && !m_pName) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(LPWSTR* /*vendorInfo*/) { return E_NOTIMPL; }

HRESULT CBaseFilter::StreamTime(CRefTime& time) {
  if (!m_pClock) return VFW_E_NO_CLOCK;
  REFERENCE_TIME now = 0;
  HRESULT hr = m_pClock->GetTime(&now);
  if (FAILED(hr)) return hr;
  time = now - m_tStart.m_time;
  return S_OK;
}

HRESULT CBaseFilter::NotifyEvent(LONG eventCode, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = m_pSink;
  if (!sink) return E_NOTIMPL;
  // The graph tells renderers apart by the filter passed with EC_COMPLETE.
  if (eventCode == EC_COMPLETE && param2 == 0) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  return sink->Notify(eventCode, param1, param2);
}

HRESULT CBaseFilter::ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* /*type*/) {
  if (!m_pGraph) return E_NOINTERFACE;
  return m_pGraph->Reconnect(pin);
}
