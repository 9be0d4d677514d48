#include "platform/dshow/FilterGraph.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <new>

#include "platform/com/activation.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/EnumFilters.h"
#include "platform/com/variant.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/FilterMapper.h"
#include "platform/dshow/RefTime.h"
#include "platform/dshow/SystemClock.h"
#include "platform/win/messages.h"

namespace {

constexpr int kMaxRenderDepth = 16;

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> enumerator;
  if (FAILED(filter->EnumPins(enumerator.GetAddressOf())) || !enumerator) return pins;
  // Pins may come and go while we look (a tee grows an output): start again when told so.
  for (int attempt = 0; attempt < 4; ++attempt) {
    pins.clear();
    enumerator->Reset();
    HRESULT hr;
    while (true) {
      IPin* pin = nullptr;
      ULONG fetched = 0;
      hr = enumerator->Next(1, &pin, &fetched);
      if (hr != S_OK || fetched != 1) break;
      ComPtr<IPin> held;
      held.Attach(pin);
      pins.push_back(held);
    }
    if (hr != VFW_E_ENUM_OUT_OF_SYNC) break;
  }
  return pins;
}

PIN_DIRECTION DirectionOf(IPin* pin) {
  PIN_DIRECTION direction = PINDIR_INPUT;
  pin->QueryDirection(&direction);
  return direction;
}

ComPtr<IPin> PeerOf(IPin* pin) {
  ComPtr<IPin> peer;
  pin->ConnectedTo(peer.GetAddressOf());
  return peer;
}

ComPtr<IBaseFilter> FilterOf(IPin* pin) {
  PIN_INFO info{};
  ComPtr<IBaseFilter> filter;
  if (SUCCEEDED(pin->QueryPinInfo(&info))) filter.Attach(info.pFilter);
  return filter;
}

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter, PIN_DIRECTION direction, bool onlyFree) {
  std::vector<ComPtr<IPin>> result;
  for (auto& pin : PinsOf(filter))
    if (DirectionOf(pin.Get()) == direction && (!onlyFree || !PeerOf(pin.Get()))) result.push_back(pin);
  return result;
}

bool IsSink(IBaseFilter* filter) { return PinsOf(filter, PINDIR_OUTPUT, false).empty(); }

ULONG MiscFlagsOf(IBaseFilter* filter) {
  ComPtr<IAMFilterMiscFlags> flags;
  if (FAILED(filter->QueryInterface(IAMFilterMiscFlags::kIid, reinterpret_cast<void**>(flags.GetAddressOf()))))
    return 0;
  return flags->GetMiscFlags();
}

// Filters whose data flows into `filter` (not including it).
std::set<IBaseFilter*> UpstreamOf(IBaseFilter* filter) {
  std::set<IBaseFilter*> seen;
  std::vector<ComPtr<IBaseFilter>> pending{filter};
  while (!pending.empty()) {
    ComPtr<IBaseFilter> current = pending.back();
    pending.pop_back();
    for (auto& in : PinsOf(current.Get(), PINDIR_INPUT, false)) {
      ComPtr<IPin> peer = PeerOf(in.Get());
      if (!peer) continue;
      ComPtr<IBaseFilter> up = FilterOf(peer.Get());
      if (up && seen.insert(up.Get()).second) pending.push_back(up);
    }
  }
  return seen;
}

enum class Kind { Other, Video, Audio, Stream };

Kind KindOfType(const AM_MEDIA_TYPE& type) {
  if (type.majortype == MEDIATYPE_Video) return Kind::Video;
  if (type.majortype == MEDIATYPE_Audio) return Kind::Audio;
  if (type.majortype == MEDIATYPE_Stream) {
    if (type.subtype == MEDIASUBTYPE_WAVE) return Kind::Audio;
    if (type.subtype == MEDIASUBTYPE_MPEG2_VIDEO || type.subtype == MEDIASUBTYPE_MPEG1Video) return Kind::Video;
    return Kind::Stream;
  }
  return Kind::Other;
}

Kind KindOfPin(IPin* pin) {
  ComPtr<IEnumMediaTypes> types;
  if (FAILED(pin->EnumMediaTypes(types.GetAddressOf())) || !types) return Kind::Other;
  AM_MEDIA_TYPE* type = nullptr;
  ULONG fetched = 0;
  if (types->Next(1, &type, &fetched) != S_OK || !type) return Kind::Other;
  Kind kind = KindOfType(*type);
  DeleteMediaType(type);
  return kind;
}

// The kind of content a sink's file name promises, from its extension.
Kind KindOfSinkFile(IBaseFilter* filter) {
  ComPtr<IFileSinkFilter> sink;
  if (FAILED(filter->QueryInterface(IFileSinkFilter::kIid, reinterpret_cast<void**>(sink.GetAddressOf()))))
    return Kind::Other;
  LPWSTR name = nullptr;
  if (FAILED(sink->GetCurFile(&name, nullptr)) || !name) return Kind::Other;
  std::string path = Utf16ToUtf8(name);
  CoTaskMemFree(name);
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return Kind::Other;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  static const std::map<std::string, Kind> kinds = {
      {"mpa", Kind::Audio},  {"mp2", Kind::Audio},   {"mp3", Kind::Audio},  {"ac3", Kind::Audio},
      {"aac", Kind::Audio},  {"wav", Kind::Audio},   {"m4a", Kind::Audio},  {"adts", Kind::Audio},
      {"raw", Kind::Video},  {"m2v", Kind::Video},   {"mpv", Kind::Video},  {"m1v", Kind::Video},
      {"264", Kind::Video},  {"h264", Kind::Video},  {"avc", Kind::Video},  {"es", Kind::Video},
      {"ts", Kind::Stream},  {"tp", Kind::Stream},   {"mpg", Kind::Stream}, {"mpeg", Kind::Stream},
      {"m2ts", Kind::Stream}, {"ps", Kind::Stream},  {"vob", Kind::Stream}, {"dvr-ms", Kind::Stream},
  };
  auto it = kinds.find(ext);
  return it == kinds.end() ? Kind::Other : it->second;
}

void DisconnectPair(IPin* a, IPin* b) {
  a->Disconnect();
  b->Disconnect();
}

struct Registrar {
  Registrar() { RegisterBuiltinClass("Filter Graph", CLSID_FilterGraph, &CFilterGraph::CreateInstance); }
} registrar;

}  // namespace

CFilterGraph::CFilterGraph(IUnknown* outer, HRESULT* result) : CUnknown("Filter graph", outer, result) {}

CFilterGraph::~CFilterGraph() {
  CAutoLock lock(&m_graphLock);
  if (m_state != State_Stopped) StopLocked();
  for (auto& entry : Snapshot()) {
    for (auto& pin : PinsOf(entry.filter.Get())) {
      if (ComPtr<IPin> peer = PeerOf(pin.Get())) DisconnectPair(pin.Get(), peer.Get());
    }
  }
  for (auto& entry : Snapshot()) entry.filter->JoinFilterGraph(nullptr, nullptr);
  m_filters.clear();
}

HRESULT CFilterGraph::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && riid != IID_IUnknown) return E_INVALIDARG;
  HRESULT hr = S_OK;
  auto* graph = new (std::nothrow) CFilterGraph(outer, &hr);
  if (!graph) return E_OUTOFMEMORY;
  graph->NonDelegatingAddRef();
  if (SUCCEEDED(hr)) hr = graph->NonDelegatingQueryInterface(riid, ppv);
  graph->NonDelegatingRelease();
  return hr;
}

HRESULT CFilterGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IFilterGraph::kIid) return GetInterface(static_cast<IFilterGraph*>(static_cast<IGraphBuilder*>(this)), ppv);
  if (riid == IGraphBuilder::kIid) return GetInterface(static_cast<IGraphBuilder*>(this), ppv);
  if (riid == IMediaControl::kIid) return GetInterface(static_cast<IMediaControl*>(this), ppv);
  if (riid == IMediaSeeking::kIid) return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
  if (riid == IMediaEvent::kIid) return GetInterface(static_cast<IMediaEvent*>(static_cast<IMediaEventEx*>(this)), ppv);
  if (riid == IMediaEventEx::kIid) return GetInterface(static_cast<IMediaEventEx*>(this), ppv);
  if (riid == IMediaEventSink::kIid) return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
  if (riid == IMediaFilter::kIid) return GetInterface(static_cast<IMediaFilter*>(this), ppv);
  if (riid == IPersist::kIid) return GetInterface(static_cast<IPersist*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

std::vector<CFilterGraph::Entry> CFilterGraph::Snapshot() {
  CAutoLock lock(&m_graphLock);
  return m_filters;
}

bool CFilterGraph::Contains(IBaseFilter* filter) {
  for (auto& entry : m_filters)
    if (entry.filter.Get() == filter) return true;
  return false;
}

std::u16string CFilterGraph::UniqueName(LPCWSTR wanted, bool* renamed) {
  const std::u16string base = wanted ? std::u16string(wanted) : std::u16string();
  auto taken = [this](const std::u16string& name) {
    for (auto& entry : m_filters)
      if (entry.name == name) return true;
    return false;
  };
  *renamed = false;
  if (!taken(base)) return base;
  *renamed = true;
  for (int n = 1; n < 10000; ++n) {
    char suffix[8];
    std::snprintf(suffix, sizeof(suffix), " %04d", n);
    std::u16string candidate = base + Utf8ToUtf16(suffix);
    if (!taken(candidate)) return candidate;
  }
  return {};
}

// ---- IFilterGraph --------------------------------------------------------------------------

HRESULT CFilterGraph::AddFilter(IBaseFilter* filter, LPCWSTR name) {
  if (!filter) return E_POINTER;
  CAutoLock lock(&m_graphLock);
  if (Contains(filter)) return E_INVALIDARG;
  bool renamed = false;
  const std::u16string unique = UniqueName(name, &renamed);
  if (unique.empty() && renamed) return VFW_E_DUPLICATE_NAME;
  m_filters.push_back({filter, unique});
  // The filter may add filters of its own while it joins, so it is found again by identity.
  HRESULT hr = filter->JoinFilterGraph(static_cast<IFilterGraph*>(static_cast<IGraphBuilder*>(this)), unique.c_str());
  if (FAILED(hr)) {
    auto it = std::find_if(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.filter.Get() == filter; });
    if (it != m_filters.end()) m_filters.erase(it);
    return hr;
  }
  if (m_clock) filter->SetSyncSource(m_clock.Get());
  return renamed ? VFW_S_DUPLICATE_NAME : S_OK;
}

namespace {

// Whether `clock` is one of `filter`'s own interfaces (compared by object identity).
bool ProvidesClock(IBaseFilter* filter, IReferenceClock* clock) {
  ComPtr<IReferenceClock> offered;
  if (FAILED(filter->QueryInterface(IReferenceClock::kIid, reinterpret_cast<void**>(offered.GetAddressOf())))) return false;
  ComPtr<IUnknown> offeredIdentity, clockIdentity;
  offered->QueryInterface(IUnknown::kIid, reinterpret_cast<void**>(offeredIdentity.GetAddressOf()));
  clock->QueryInterface(IUnknown::kIid, reinterpret_cast<void**>(clockIdentity.GetAddressOf()));
  return offeredIdentity && offeredIdentity.Get() == clockIdentity.Get();
}

}  // namespace

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* filter) {
  if (!filter) return E_POINTER;
  CAutoLock lock(&m_graphLock);
  auto it = std::find_if(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.filter.Get() == filter; });
  if (it == m_filters.end()) return VFW_E_NOT_FOUND;
  if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
  ComPtr<IBaseFilter> held = it->filter;
  for (auto& pin : PinsOf(filter)) {
    if (ComPtr<IPin> peer = PeerOf(pin.Get())) DisconnectPair(pin.Get(), peer.Get());
  }
  // A filter out of the graph no longer follows its clock. When it was the clock, every other
  // filter lets go of it too and the next run chooses again; otherwise a filter that gave the
  // graph its own clock would keep itself alive through it.
  if (m_clock && ProvidesClock(held.Get(), m_clock.Get())) {
    SetSyncSource(nullptr);
    m_clockChosen = false;
  }
  held->SetSyncSource(nullptr);
  held->JoinFilterGraph(nullptr, nullptr);
  it = std::find_if(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.filter.Get() == filter; });
  if (it != m_filters.end()) m_filters.erase(it);
  {
    std::lock_guard events(m_eventLock);
    m_pendingSinks.erase(reinterpret_cast<LONG_PTR>(filter));
  }
  return S_OK;
}

HRESULT CFilterGraph::EnumFilters(IEnumFilters** filters) {
  if (!filters) return E_POINTER;
  std::vector<ComPtr<IBaseFilter>> list;
  for (auto& entry : Snapshot()) list.push_back(entry.filter);
  *filters = new (std::nothrow) CEnumFilters(std::move(list));
  return *filters ? S_OK : E_OUTOFMEMORY;
}

HRESULT CFilterGraph::FindFilterByName(LPCWSTR name, IBaseFilter** filter) {
  if (!name || !filter) return E_POINTER;
  *filter = nullptr;
  CAutoLock lock(&m_graphLock);
  for (auto& entry : m_filters) {
    if (entry.name == name) return entry.filter.CopyTo(filter);
  }
  return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) {
  if (!out || !in) return E_POINTER;
  CAutoLock lock(&m_graphLock);
  if (DirectionOf(out) != PINDIR_OUTPUT || DirectionOf(in) != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
  return out->Connect(in, type);
}

HRESULT CFilterGraph::Reconnect(IPin* pin) {
  if (!pin) return E_POINTER;
  CAutoLock lock(&m_graphLock);
  ComPtr<IPin> peer = PeerOf(pin);
  if (!peer) return VFW_E_NOT_CONNECTED;
  IPin* out = DirectionOf(pin) == PINDIR_OUTPUT ? pin : peer.Get();
  IPin* in = out == pin ? peer.Get() : pin;
  AM_MEDIA_TYPE type{};
  const bool haveType = SUCCEEDED(out->ConnectionMediaType(&type));
  DisconnectPair(out, in);
  HRESULT hr = out->Connect(in, haveType ? &type : nullptr);
  if (FAILED(hr) && haveType) hr = out->Connect(in, nullptr);
  if (haveType) FreeMediaType(type);
  return hr;
}

HRESULT CFilterGraph::Disconnect(IPin* pin) {
  if (!pin) return E_POINTER;
  CAutoLock lock(&m_graphLock);
  return pin->Disconnect();
}

HRESULT CFilterGraph::SetDefaultSyncSource() {
  CAutoLock lock(&m_graphLock);
  m_clockChosen = false;
  ChooseClockLocked();
  return S_OK;
}

// ---- IGraphBuilder -------------------------------------------------------------------------

HRESULT CFilterGraph::Connect(IPin* out, IPin* in) {
  if (!out || !in) return E_POINTER;
  CAutoLock lock(&m_graphLock);
  if (DirectionOf(out) != PINDIR_OUTPUT || DirectionOf(in) != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
  HRESULT direct = out->Connect(in, nullptr);
  if (SUCCEEDED(direct)) return direct;
  if (direct == VFW_E_ALREADY_CONNECTED || direct == VFW_E_NOT_STOPPED) return direct;
  // One filter of the graph in between: out -> its input, one of its outputs -> in.
  ComPtr<IBaseFilter> target = FilterOf(in);
  for (auto& middle : RenderCandidates(out)) {
    if (middle.Get() == target.Get() || IsSink(middle.Get())) continue;
    for (auto& middleIn : PinsOf(middle.Get(), PINDIR_INPUT, true)) {
      if (FAILED(out->Connect(middleIn.Get(), nullptr))) continue;
      for (auto& middleOut : PinsOf(middle.Get(), PINDIR_OUTPUT, true)) {
        if (SUCCEEDED(middleOut->Connect(in, nullptr))) return S_OK;
      }
      DisconnectPair(out, middleIn.Get());
    }
  }
  return direct;
}

HRESULT CFilterGraph::Render(IPin* out) {
  if (!out) return E_POINTER;
  CAutoLock lock(&m_graphLock);
  if (DirectionOf(out) != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
  if (PeerOf(out)) return VFW_E_ALREADY_CONNECTED;
  return RenderPin(out, 0);
}

HRESULT CFilterGraph::RenderPin(IPin* out, int depth) {
  if (depth > kMaxRenderDepth) return VFW_E_CANNOT_RENDER;
  for (auto& candidate : RenderCandidates(out)) {
    HRESULT hr = TryRenderThrough(out, candidate.Get(), depth);
    if (SUCCEEDED(hr)) return hr;
  }
  return RenderWithRegisteredFilter(out, depth);
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::RenderCandidates(IPin* out) {
  ComPtr<IBaseFilter> own = FilterOf(out);
  const std::set<IBaseFilter*> upstream = own ? UpstreamOf(own.Get()) : std::set<IBaseFilter*>();
  const Kind kind = KindOfPin(out);
  std::vector<ComPtr<IBaseFilter>> withOutputs, fittingSinks, otherSinks;
  for (auto& entry : m_filters) {
    IBaseFilter* filter = entry.filter.Get();
    if (filter == own.Get() || upstream.count(filter)) continue;
    if (PinsOf(filter, PINDIR_INPUT, true).empty()) continue;
    if (!IsSink(filter)) withOutputs.push_back(entry.filter);
    else if (kind != Kind::Other && KindOfSinkFile(filter) == kind) fittingSinks.push_back(entry.filter);
    else otherSinks.push_back(entry.filter);
  }
  std::vector<ComPtr<IBaseFilter>> ordered(withOutputs.rbegin(), withOutputs.rend());
  ordered.insert(ordered.end(), fittingSinks.begin(), fittingSinks.end());
  ordered.insert(ordered.end(), otherSinks.begin(), otherSinks.end());
  return ordered;
}

HRESULT CFilterGraph::TryRenderThrough(IPin* out, IBaseFilter* filter, int depth) {
  for (auto& in : PinsOf(filter, PINDIR_INPUT, true)) {
    if (FAILED(out->Connect(in.Get(), nullptr))) continue;
    // Pins made by the connection (a demultiplexer's, a tee's) are part of the snapshot.
    std::vector<ComPtr<IPin>> outputs = PinsOf(filter, PINDIR_OUTPUT, true);
    if (outputs.empty()) return S_OK;
    int rendered = 0, failed = 0;
    for (auto& next : outputs) {
      if (PeerOf(next.Get())) continue;
      if (SUCCEEDED(RenderPin(next.Get(), depth + 1))) ++rendered;
      else ++failed;
    }
    if (rendered > 0) return failed ? VFW_S_PARTIAL_RENDER : S_OK;
    // Nothing downstream takes what this filter makes: try elsewhere.
    DisconnectPair(out, in.Get());
  }
  return VFW_E_CANNOT_RENDER;
}

HRESULT CFilterGraph::RenderWithRegisteredFilter(IPin* out, int depth) {
  // The types the pin offers, as (major, minor) pairs.
  std::vector<GUID> pairs;
  ComPtr<IEnumMediaTypes> types;
  if (SUCCEEDED(out->EnumMediaTypes(types.GetAddressOf())) && types) {
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 0;
    while (pairs.size() < 16 && types->Next(1, &type, &fetched) == S_OK && type) {
      pairs.push_back(type->majortype);
      pairs.push_back(type->subtype);
      DeleteMediaType(type);
      type = nullptr;
    }
  }
  if (pairs.empty()) return VFW_E_CANNOT_RENDER;
  ComPtr<IFilterMapper2> mapper;
  if (FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IFilterMapper2::kIid,
                              reinterpret_cast<void**>(mapper.GetAddressOf()))))
    return VFW_E_CANNOT_RENDER;
  ComPtr<IEnumMoniker> found;
  if (FAILED(mapper->EnumMatchingFilters(found.GetAddressOf(), 0, FALSE, MERIT_DO_NOT_USE + 1, TRUE,
                                         static_cast<DWORD>(pairs.size() / 2), pairs.data(), nullptr, nullptr, FALSE,
                                         FALSE, 0, nullptr, nullptr, nullptr)))
    return VFW_E_CANNOT_RENDER;
  while (true) {
    ComPtr<IMoniker> moniker;
    ULONG fetched = 0;
    if (found->Next(1, moniker.GetAddressOf(), &fetched) != S_OK || !moniker) break;
    ComPtr<IBaseFilter> filter;
    if (FAILED(moniker->BindToObject(nullptr, nullptr, IBaseFilter::kIid, reinterpret_cast<void**>(filter.GetAddressOf()))))
      continue;
    std::u16string name;
    ComPtr<IPropertyBag> bag;
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::kIid, reinterpret_cast<void**>(bag.GetAddressOf())))) {
      VARIANT value;
      VariantInit(&value);
      if (SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal)
        name = value.bstrVal;
      VariantClear(&value);
    }
    if (FAILED(AddFilter(filter.Get(), name.c_str()))) continue;
    HRESULT hr = TryRenderThrough(out, filter.Get(), depth);
    if (SUCCEEDED(hr)) return hr;
    RemoveFilter(filter.Get());
  }
  return VFW_E_CANNOT_RENDER;
}

HRESULT CFilterGraph::RenderFile(LPCWSTR /*file*/, LPCWSTR /*playList*/) { return E_NOTIMPL; }

HRESULT CFilterGraph::AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) {
  if (!file || !filter) return E_POINTER;
  *filter = nullptr;
  ComPtr<IBaseFilter> source;
  HRESULT hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::kIid,
                                reinterpret_cast<void**>(source.GetAddressOf()));
  if (FAILED(hr)) return hr;
  hr = AddFilter(source.Get(), filterName ? filterName : file);
  if (FAILED(hr)) return hr;
  ComPtr<IFileSourceFilter> loader;
  hr = source->QueryInterface(IFileSourceFilter::kIid, reinterpret_cast<void**>(loader.GetAddressOf()));
  if (SUCCEEDED(hr)) hr = loader->Load(file, nullptr);
  if (FAILED(hr)) {
    RemoveFilter(source.Get());
    return hr;
  }
  return source.CopyTo(filter);
}

HRESULT CFilterGraph::SetLogFile(DWORD_PTR /*file*/) { return S_OK; }
HRESULT CFilterGraph::Abort() { return S_OK; }
HRESULT CFilterGraph::ShouldOperationContinue() { return S_OK; }

// ---- State ---------------------------------------------------------------------------------

std::vector<ComPtr<IBaseFilter>> CFilterGraph::DownstreamFirst() {
  std::vector<ComPtr<IBaseFilter>> order;
  std::set<IBaseFilter*> visited;
  std::function<void(const ComPtr<IBaseFilter>&)> visit = [&](const ComPtr<IBaseFilter>& filter) {
    if (!visited.insert(filter.Get()).second) return;
    for (auto& out : PinsOf(filter.Get(), PINDIR_OUTPUT, false)) {
      ComPtr<IPin> peer = PeerOf(out.Get());
      if (!peer) continue;
      ComPtr<IBaseFilter> down = FilterOf(peer.Get());
      if (down && Contains(down.Get())) visit(down);
    }
    order.push_back(filter);
  };
  for (auto& entry : Snapshot()) visit(entry.filter);
  return order;
}

void CFilterGraph::ChooseClockLocked() {
  if (m_clockChosen) return;
  ComPtr<IReferenceClock> chosen;
  for (auto& entry : Snapshot()) {
    if (!(MiscFlagsOf(entry.filter.Get()) & AM_FILTER_MISC_FLAGS_IS_RENDERER)) continue;
    if (SUCCEEDED(entry.filter->QueryInterface(IReferenceClock::kIid, reinterpret_cast<void**>(chosen.GetAddressOf())))) break;
  }
  if (!chosen &&
      FAILED(CSystemClock::CreateInstance(nullptr, IReferenceClock::kIid, reinterpret_cast<void**>(chosen.GetAddressOf()))))
    return;
  SetSyncSource(chosen.Get());
}

void CFilterGraph::StartCompletionCount() {
  std::set<LONG_PTR> sinks;
  for (auto& entry : Snapshot()) {
    IBaseFilter* filter = entry.filter.Get();
    bool renders = (MiscFlagsOf(filter) & AM_FILTER_MISC_FLAGS_IS_RENDERER) != 0;
    if (!renders && IsSink(filter)) {
      for (auto& in : PinsOf(filter, PINDIR_INPUT, false))
        if (PeerOf(in.Get())) renders = true;
    }
    if (renders) sinks.insert(reinterpret_cast<LONG_PTR>(filter));
  }
  std::lock_guard events(m_eventLock);
  m_pendingSinks = std::move(sinks);
  m_countingCompletion = true;
  m_completionCode = 0;
}

HRESULT CFilterGraph::PauseLocked() {
  if (m_state == State_Stopped) {
    ChooseClockLocked();
    StartCompletionCount();
  }
  for (auto& filter : DownstreamFirst()) {
    HRESULT hr = filter->Pause();
    if (FAILED(hr)) {
      StopLocked();
      return hr;
    }
  }
  m_state = State_Paused;
  return S_OK;
}

HRESULT CFilterGraph::StopLocked() {
  HRESULT result = S_OK;
  auto order = DownstreamFirst();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    HRESULT hr = (*it)->Stop();
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  m_state = State_Stopped;
  std::lock_guard events(m_eventLock);
  m_countingCompletion = false;
  return result;
}

HRESULT CFilterGraph::Run() { return Run(REFERENCE_TIME{-1}); }

HRESULT CFilterGraph::Run(REFERENCE_TIME start) {
  CAutoLock lock(&m_graphLock);
  if (m_state == State_Running) return S_OK;
  if (m_state == State_Stopped) {
    HRESULT hr = PauseLocked();
    if (FAILED(hr)) return hr;
  }
  if (start < 0) {
    // A little ahead of now, so every filter starts on the same stream time.
    start = 0;
    if (m_clock && SUCCEEDED(m_clock->GetTime(&start))) start += 10 * MILLISECONDS;
  }
  for (auto& filter : DownstreamFirst()) {
    HRESULT hr = filter->Run(start);
    if (FAILED(hr)) {
      StopLocked();
      return hr;
    }
  }
  m_state = State_Running;
  return S_OK;
}

HRESULT CFilterGraph::Pause() {
  CAutoLock lock(&m_graphLock);
  return PauseLocked();
}

HRESULT CFilterGraph::Stop() {
  CAutoLock lock(&m_graphLock);
  return StopLocked();
}

HRESULT CFilterGraph::GetState(LONG /*msTimeout*/, OAFilterState* state) {
  if (!state) return E_POINTER;
  CAutoLock lock(&m_graphLock);
  *state = m_state;
  return S_OK;
}

HRESULT CFilterGraph::GetState(DWORD /*msTimeout*/, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  CAutoLock lock(&m_graphLock);
  *state = m_state;
  return S_OK;
}

HRESULT CFilterGraph::StopWhenReady() { return Stop(); }

HRESULT CFilterGraph::GetClassID(CLSID* classId) {
  if (!classId) return E_POINTER;
  *classId = CLSID_FilterGraph;
  return S_OK;
}

HRESULT CFilterGraph::SetSyncSource(IReferenceClock* clock) {
  CAutoLock lock(&m_graphLock);
  m_clock = clock;
  m_clockChosen = true;
  // A filter may hand the graph another clock from inside its SetSyncSource; that call has
  // then told every filter, and this one must not overwrite it.
  IReferenceClock* distributing = clock;
  for (auto& entry : Snapshot()) {
    entry.filter->SetSyncSource(distributing);
    if (m_clock.Get() != distributing) break;
  }
  return S_OK;
}

HRESULT CFilterGraph::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  CAutoLock lock(&m_graphLock);
  return m_clock.CopyTo(clock);
}

// ---- IMediaSeeking: forwarded to the most upstream filters that seek ------------------------

std::vector<ComPtr<IMediaSeeking>> CFilterGraph::Seekers() {
  CAutoLock lock(&m_graphLock);
  std::vector<ComPtr<IMediaSeeking>> seekers;
  std::set<IBaseFilter*> seeking;
  for (auto& entry : m_filters) {
    ComPtr<IMediaSeeking> s;
    if (SUCCEEDED(entry.filter->QueryInterface(IMediaSeeking::kIid, reinterpret_cast<void**>(s.GetAddressOf()))))
      seeking.insert(entry.filter.Get());
  }
  for (auto& entry : m_filters) {
    if (!seeking.count(entry.filter.Get())) continue;
    bool upstreamSeeks = false;
    for (IBaseFilter* up : UpstreamOf(entry.filter.Get()))
      if (seeking.count(up)) upstreamSeeks = true;
    if (upstreamSeeks) continue;
    ComPtr<IMediaSeeking> s;
    entry.filter->QueryInterface(IMediaSeeking::kIid, reinterpret_cast<void**>(s.GetAddressOf()));
    seekers.push_back(s);
  }
  return seekers;
}

#define FORWARD_TO_FIRST_SEEKER(call)          \
  auto seekers = Seekers();                    \
  if (seekers.empty()) return E_NOTIMPL;       \
  return seekers.front()->call;

HRESULT CFilterGraph::GetCapabilities(DWORD* capabilities) {
  if (!capabilities) return E_POINTER;
  auto seekers = Seekers();
  if (seekers.empty()) {
    *capabilities = 0;
    return E_NOTIMPL;
  }
  DWORD all = ~DWORD{0};
  for (auto& s : seekers) {
    DWORD caps = 0;
    if (SUCCEEDED(s->GetCapabilities(&caps))) all &= caps;
  }
  *capabilities = all;
  return S_OK;
}

HRESULT CFilterGraph::CheckCapabilities(DWORD* capabilities) {
  if (!capabilities) return E_POINTER;
  DWORD have = 0;
  HRESULT hr = GetCapabilities(&have);
  if (FAILED(hr)) return hr;
  const DWORD asked = *capabilities;
  *capabilities &= have;
  if (*capabilities == asked) return S_OK;
  return *capabilities ? S_FALSE : E_FAIL;
}

HRESULT CFilterGraph::IsFormatSupported(const GUID* format) { FORWARD_TO_FIRST_SEEKER(IsFormatSupported(format)) }
HRESULT CFilterGraph::QueryPreferredFormat(GUID* format) { FORWARD_TO_FIRST_SEEKER(QueryPreferredFormat(format)) }
HRESULT CFilterGraph::GetTimeFormat(GUID* format) { FORWARD_TO_FIRST_SEEKER(GetTimeFormat(format)) }
HRESULT CFilterGraph::IsUsingTimeFormat(const GUID* format) { FORWARD_TO_FIRST_SEEKER(IsUsingTimeFormat(format)) }

HRESULT CFilterGraph::SetTimeFormat(const GUID* format) {
  if (!format) return E_POINTER;
  auto seekers = Seekers();
  if (seekers.empty()) return E_NOTIMPL;
  HRESULT result = S_OK;
  for (auto& s : seekers) {
    HRESULT hr = s->SetTimeFormat(format);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

HRESULT CFilterGraph::GetDuration(LONGLONG* duration) {
  if (!duration) return E_POINTER;
  auto seekers = Seekers();
  if (seekers.empty()) return E_NOTIMPL;
  HRESULT result = E_NOTIMPL;
  LONGLONG longest = 0;
  for (auto& s : seekers) {
    LONGLONG d = 0;
    if (SUCCEEDED(s->GetDuration(&d))) {
      longest = std::max(longest, d);
      result = S_OK;
    }
  }
  *duration = longest;
  return result;
}

HRESULT CFilterGraph::GetStopPosition(LONGLONG* stop) { FORWARD_TO_FIRST_SEEKER(GetStopPosition(stop)) }
HRESULT CFilterGraph::GetCurrentPosition(LONGLONG* current) { FORWARD_TO_FIRST_SEEKER(GetCurrentPosition(current)) }

HRESULT CFilterGraph::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                        const GUID* sourceFormat) {
  FORWARD_TO_FIRST_SEEKER(ConvertTimeFormat(target, targetFormat, source, sourceFormat))
}

HRESULT CFilterGraph::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
  auto seekers = Seekers();
  if (seekers.empty()) return E_NOTIMPL;
  HRESULT result = S_OK;
  for (auto& s : seekers) {
    HRESULT hr = s->SetPositions(current, currentFlags, stop, stopFlags);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  // After a seek the sinks end their stream again: count them afresh.
  CAutoLock lock(&m_graphLock);
  if (SUCCEEDED(result) && m_state != State_Stopped) StartCompletionCount();
  return result;
}

HRESULT CFilterGraph::GetPositions(LONGLONG* current, LONGLONG* stop) { FORWARD_TO_FIRST_SEEKER(GetPositions(current, stop)) }
HRESULT CFilterGraph::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
  FORWARD_TO_FIRST_SEEKER(GetAvailable(earliest, latest))
}

HRESULT CFilterGraph::SetRate(double rate) {
  auto seekers = Seekers();
  if (seekers.empty()) return E_NOTIMPL;
  HRESULT result = S_OK;
  for (auto& s : seekers) {
    HRESULT hr = s->SetRate(rate);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

HRESULT CFilterGraph::GetRate(double* rate) { FORWARD_TO_FIRST_SEEKER(GetRate(rate)) }
HRESULT CFilterGraph::GetPreroll(LONGLONG* preroll) {
  if (!preroll) return E_POINTER;
  *preroll = 0;
  return S_OK;
}

#undef FORWARD_TO_FIRST_SEEKER

// ---- Events --------------------------------------------------------------------------------

HRESULT CFilterGraph::Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2) {
  Event event{eventCode, param1, param2};
  {
    std::lock_guard lock(m_eventLock);
    if (eventCode == EC_COMPLETE && m_defaultCompleteHandling) {
      // A late report from a stopped run is stale.
      if (!m_countingCompletion) return S_OK;
      if (!m_pendingSinks.empty()) {
        if (param2 == 0) {
          // A sink that does not say who it is still counts once.
          m_pendingSinks.erase(m_pendingSinks.begin());
        } else if (m_pendingSinks.erase(param2) == 0) {
          return S_OK;  // not a sink we wait for, or one reporting twice
        }
        if (!m_pendingSinks.empty()) return S_OK;
      }
      m_countingCompletion = false;
      event = {EC_COMPLETE, S_OK, 0};
    }
  }
  QueueEvent(event);
  return S_OK;
}

void CFilterGraph::QueueEvent(const Event& event) {
  OAHWND window;
  LONG message;
  LONG_PTR instance;
  {
    std::lock_guard lock(m_eventLock);
    m_events.push_back(event);
    if ((event.code == EC_COMPLETE || event.code == EC_USERABORT || event.code == EC_ERRORABORT) &&
        m_completionCode == 0)
      m_completionCode = event.code;
    window = (m_notifyFlags & AM_MEDIAEVENT_NONOTIFY) ? 0 : m_notifyWindow;
    message = m_notifyMessage;
    instance = m_notifyInstance;
  }
  m_eventArrived.notify_all();
  if (window) PostMessage(static_cast<HWND>(window), static_cast<UINT>(message), 0, static_cast<LPARAM>(instance));
}

HRESULT CFilterGraph::GetEventHandle(OAEVENT* event) {
  if (!event) return E_POINTER;
  *event = 0;
  return E_NOTIMPL;
}

HRESULT CFilterGraph::GetEvent(LONG* eventCode, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) {
  if (!eventCode || !param1 || !param2) return E_POINTER;
  std::unique_lock lock(m_eventLock);
  auto ready = [this] { return !m_events.empty(); };
  if (msTimeout < 0) m_eventArrived.wait(lock, ready);
  else if (!m_eventArrived.wait_for(lock, std::chrono::milliseconds(msTimeout), ready)) {
    *eventCode = 0;
    *param1 = *param2 = 0;
    return E_ABORT;
  }
  const Event event = m_events.front();
  m_events.pop_front();
  *eventCode = event.code;
  *param1 = event.param1;
  *param2 = event.param2;
  return S_OK;
}

HRESULT CFilterGraph::WaitForCompletion(LONG msTimeout, LONG* eventCode) {
  if (!eventCode) return E_POINTER;
  std::unique_lock lock(m_eventLock);
  auto done = [this] { return m_completionCode != 0; };
  if (msTimeout < 0) m_eventArrived.wait(lock, done);
  else if (!m_eventArrived.wait_for(lock, std::chrono::milliseconds(msTimeout), done)) {
    *eventCode = 0;
    return E_ABORT;
  }
  *eventCode = m_completionCode;
  return S_OK;
}

HRESULT CFilterGraph::CancelDefaultHandling(LONG eventCode) {
  if (eventCode != EC_COMPLETE) return S_FALSE;
  std::lock_guard lock(m_eventLock);
  m_defaultCompleteHandling = false;
  return S_OK;
}

HRESULT CFilterGraph::RestoreDefaultHandling(LONG eventCode) {
  if (eventCode != EC_COMPLETE) return S_FALSE;
  std::lock_guard lock(m_eventLock);
  m_defaultCompleteHandling = true;
  return S_OK;
}

HRESULT CFilterGraph::FreeEventParams(LONG /*eventCode*/, LONG_PTR /*param1*/, LONG_PTR /*param2*/) { return S_OK; }

HRESULT CFilterGraph::SetNotifyWindow(OAHWND window, LONG msg, LONG_PTR instanceData) {
  std::lock_guard lock(m_eventLock);
  m_notifyWindow = window;
  m_notifyMessage = msg;
  m_notifyInstance = instanceData;
  return S_OK;
}

HRESULT CFilterGraph::SetNotifyFlags(LONG flags) {
  if (flags & ~AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
  std::lock_guard lock(m_eventLock);
  m_notifyFlags = flags;
  return S_OK;
}

HRESULT CFilterGraph::GetNotifyFlags(LONG* flags) {
  if (!flags) return E_POINTER;
  std::lock_guard lock(m_eventLock);
  *flags = m_notifyFlags;
  return S_OK;
}
