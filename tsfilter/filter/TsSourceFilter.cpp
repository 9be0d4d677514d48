#include "tsfilter/filter/TsSourceFilter.h"

#include <cstdio>
#include <new>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/moniker.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/Errors.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/Guids.h"
#include "platform/dshow/Mpeg2Interfaces.h"
#include "platform/win/messagebox.h"
#include "platform/win/messages.h"
#include "platform/win/system.h"
#include "shared/ClassIds.h"
#include "shared/EndOfFileMessage.h"
#include "tsfilter/analysis/OpeningAnalysis.h"
#include "tsfilter/analysis/PacketExaminer.h"
#include "tsfilter/analysis/ProgramQueries.h"
#include "tsfilter/filter/OutputMediaTypes.h"
#include "tsfilter/filter/TsOutputPin.h"
#include "tsfilter/services/AttributeKeys.h"
#include "tsfilter/services/AudioTrackName.h"
#include "tsfilter/services/SettingsStore.h"

namespace tsfilter {
namespace {

constexpr const char* kVendorInfo = "1.2.0.0";
constexpr const char16_t* kNvidiaDemuxName = u"NVIDIA HDTV Demux";
constexpr const char16_t* kDefaultFileName = u"flumetta.0000.ts";

HRESULT RegisterInRunningObjectTable(IUnknown* object, const std::string& name, DWORD* cookie) {
  *cookie = 0;
  ComPtr<IRunningObjectTable> table;
  HRESULT hr = GetRunningObjectTable(0, table.GetAddressOf());
  if (FAILED(hr)) return hr;
  ComPtr<IMoniker> moniker;
  const std::u16string item = Utf8ToUtf16(name);
  hr = CreateItemMoniker(u"!", item.c_str(), moniker.GetAddressOf());
  if (FAILED(hr)) return hr;
  return table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, object, moniker.Get(), cookie);
}

void RevokeFromRunningObjectTable(DWORD& cookie) {
  if (cookie == 0) return;
  ComPtr<IRunningObjectTable> table;
  if (SUCCEEDED(GetRunningObjectTable(0, table.GetAddressOf()))) table->Revoke(cookie);
  cookie = 0;
}

// The first filter of the graph, in the graph's order, that offers a clock; `skipped` (the
// demultiplexer the filter configured) does not count.
ComPtr<IReferenceClock> FirstFilterClock(IFilterGraph* graph, IBaseFilter* skipped) {
  ComPtr<IReferenceClock> clock;
  ComPtr<IEnumFilters> filters;
  if (!graph || FAILED(graph->EnumFilters(filters.GetAddressOf()))) return clock;
  ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    if (filter.Get() == skipped) continue;
    if (SUCCEEDED(filter->QueryInterface(IID_PPV_ARGS(clock.GetAddressOf())))) break;
  }
  return clock;
}

}  // namespace

// What the analysis asks of the filter around it.
class TsSourceFilter::Host final : public AnalysisHost {
 public:
  void ShowNotTransportStream() override {
    MessageBox(0, kNotTransportStreamText, kNotTransportStreamCaption, MB_OK);
  }
  void PostEndOfStream(std::intptr_t window) override {
    PostMessage(static_cast<HWND>(window), kEndOfFileMessage, kEndOfFileWParam, kEndOfFileLParam);
  }
  void ReadSetting(const char* name, std::uint32_t& value) override { ReadStoredSetting(name, value); }
};

// The attribute keys read the filter's state; the caller holds the filter lock.
class TsSourceFilter::Attributes final : public AttributeSource {
 public:
  explicit Attributes(TsSourceFilter& filter) : m_filter(filter), m_state(filter.m_analysis) {}

  AttributeVideoFormat VideoFormat() const override {
    const VideoAttributes& v = m_state.video;
    return {v.width, v.height, v.aspectX, v.aspectY, v.frameRate};
  }
  AttributeAudioTrack SelectedAudioTrack() const override {
    const std::size_t index = m_state.selectedAudioTrack < ProgramModel::kMaxAudioTracks ? m_state.selectedAudioTrack : 0;
    const AudioTrack& track = m_state.model.audioTracks[index];
    return {track.pid, static_cast<std::uint8_t>(track.stream_type)};
  }
  std::int64_t PidRowCount() const override { return static_cast<std::int64_t>(m_state.census.RowCount()); }
  AttributePidRow PidRow(std::int64_t index) const override {
    const PidEntry& row = m_state.census.Row(static_cast<std::size_t>(index));
    return {row.pid, row.packets, row.contentCode};
  }
  std::uint16_t SelectedProgramPmtPid() const override {
    const ProgramEntry* program = m_state.programs.Find(m_state.model.currentProgram);
    return program ? static_cast<std::uint16_t>(program->pmt_pid) : 0;
  }
  std::string ServiceName(std::int64_t programNumber) const override {
    if (programNumber < 0 || programNumber > 0xFFFFFFFFLL) return {};
    const ProgramEntry* program = m_state.programs.Find(static_cast<std::uint32_t>(programNumber));
    return program ? std::string(program->name) : std::string();
  }
  bool NoPmt() const override { return m_state.model.noPmt; }
  bool HasOutputPin() const override { return m_filter.m_pin != nullptr; }
  std::int64_t LastVideoPts() const override { return static_cast<std::int64_t>(Pin().lastPts); }
  std::int64_t CurrentPacket() const override { return Pin().position; }
  std::int64_t MediaDuration() const override { return Pin().duration; }
  std::int64_t H264RowCount() const override { return static_cast<std::int64_t>(Pin().h264Parameters.Count()); }
  std::string H264Row(std::int64_t index) const override {
    return Pin().h264Parameters.Row(static_cast<std::size_t>(index));
  }
  std::int64_t FileLength() const override { return static_cast<std::int64_t>(m_state.reader.FileSize()); }
  void SetPrefDemux(std::uint32_t value) override { m_state.settings.prefDemux = value; }
  void SetNotifyWindow(std::intptr_t window) override { m_state.notifyWindow = window; }

 private:
  TsPinState& Pin() const;
  TsSourceFilter& m_filter;
  TsFilterState& m_state;
};

TsPinState& TsSourceFilter::Attributes::Pin() const { return m_filter.m_pin->State(); }

// ---- construction ----

HRESULT TsSourceFilter::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  HRESULT hr = S_OK;
  auto* filter = new (std::nothrow) TsSourceFilter(outer, &hr);
  if (!filter) return E_OUTOFMEMORY;
  if (FAILED(hr)) {
    delete filter;
    return hr;
  }
  filter->NonDelegatingAddRef();
  hr = filter->NonDelegatingQueryInterface(riid, ppv);
  filter->NonDelegatingRelease();
  return hr;
}

TsSourceFilter::TsSourceFilter(IUnknown* outer, HRESULT* result)
    : CSource("Flumetta", outer, CLSID_Flumetta, result), m_host(new (std::nothrow) Host) {
  if (s_objectCount) s_objectCount->Increment();
  if (!m_host) {
    if (result) *result = E_OUTOFMEMORY;
    return;
  }
  m_analysis.SetHost(m_host);
  m_mediaType.InitMediaType();
  m_mediaType.SetType(&MEDIATYPE_Stream);
  m_mediaType.SetSubtype(&GUID_NULL);
}

TsSourceFilter::~TsSourceFilter() {
  RevokeFilterEntry();
  RevokeGraphEntry();
  if (m_demux) m_demux->Release();
  m_demux = nullptr;
  m_analysis.reader.Close();
  m_analysis.SetHost(nullptr);
  delete m_host;
  if (s_objectCount) s_objectCount->Decrement();
}

HRESULT TsSourceFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IFileSourceFilter::kIid) return GetInterface(static_cast<IFileSourceFilter*>(this), ppv);
  if (riid == IAMFilterMiscFlags::kIid) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
  if (riid == ISpecifyPropertyPages::kIid) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
  if (riid == IAMStreamSelect::kIid) return GetInterface(static_cast<IAMStreamSelect*>(this), ppv);
  if (riid == ITsSourceInfo::kIid) return GetInterface(static_cast<ITsSourceInfo*>(this), ppv);
  if (riid == IMediaSeeking::kIid) {
    if (!m_pin) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    return m_pin->NonDelegatingQueryInterface(riid, ppv);
  }
  return CSource::NonDelegatingQueryInterface(riid, ppv);
}

// ---- graph membership and settings ----

STDMETHODIMP TsSourceFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  HRESULT hr = CSource::JoinFilterGraph(graph, name);
  if (FAILED(hr)) return hr;
  const StoredSettings stored = ReadStoredSettings();
  {
    std::lock_guard lock(m_analysis.filterLock);
    m_analysis.settings = stored.filter;
    m_analysis.pmt.ignoreCrc = stored.filter.ignoreCrc != 0;
    m_allowGraphEdit = stored.allowGraphEdit;
  }
  if (stored.filter.prefDemux == 2) AddNvidiaDemux();
  if (graph) {
    if (m_allowGraphEdit) RegisterGraphEntry();
  } else {
    // The entry holds the graph alive: it goes when the filter leaves, even if the setting was
    // switched off since the filter joined.
    RevokeGraphEntry();
  }
  return S_OK;
}

STDMETHODIMP TsSourceFilter::QueryVendorInfo(LPWSTR* vendorInfo) {
  if (!vendorInfo) return E_POINTER;
  *vendorInfo = CoTaskMemDupUtf8(kVendorInfo);
  if (!*vendorInfo) return E_OUTOFMEMORY;
  std::lock_guard lock(m_analysis.filterLock);
  RevokeGraphEntry();
  m_analysis.settings.pcrClock = 0;
  return S_OK;
}

STDMETHODIMP TsSourceFilter::SetSyncSource(IReferenceClock* clock) {
  HRESULT hr;
  bool chooseClock = false;
  ComPtr<IBaseFilter> demux;
  {
    std::lock_guard lock(m_analysis.filterLock);
    hr = CSource::SetSyncSource(clock);
    if (clock && !m_analysis.settings.pcrClock && m_clockRequested.exchange(false)) {
      chooseClock = true;
      demux = m_demux;
    }
  }
  // The graph is asked outside the filter lock: it hands the clock to every filter (this one
  // included) and takes its own lock, which a thread stopping the graph may hold while it waits
  // for the streaming thread, which needs the filter lock.
  if (!chooseClock || !m_pGraph) return hr;
  ComPtr<IReferenceClock> chosen = FirstFilterClock(m_pGraph, demux.Get());
  ComPtr<IMediaFilter> graph;
  if (chosen && chosen.Get() != clock && SUCCEEDED(m_pGraph->QueryInterface(IID_PPV_ARGS(graph.GetAddressOf()))))
    graph->SetSyncSource(chosen.Get());
  return hr;
}

STDMETHODIMP_(ULONG) TsSourceFilter::GetMiscFlags() {
  m_clockRequested = true;
  return AM_FILTER_MISC_FLAGS_IS_SOURCE;
}

STDMETHODIMP TsSourceFilter::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  static constexpr CLSID kPages[] = {CLSID_ProgramInfoPage, CLSID_H264AnalyzerPage, CLSID_PidInfoPage,
                                     CLSID_ProgramsPage, CLSID_AboutPage};
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof kPages));
  if (!pages->pElems) {
    pages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  pages->cElems = static_cast<ULONG>(std::size(kPages));
  for (std::size_t i = 0; i < std::size(kPages); ++i) pages->pElems[i] = kPages[i];
  return S_OK;
}

void TsSourceFilter::AddNvidiaDemux() {
  if (!m_pGraph) return;
  ComPtr<IBaseFilter> demux;
  // Not available on this platform: the creation fails and the filter simply is not there.
  if (FAILED(CoCreateInstance(CLSID_NvidiaHdtvDemux, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf())))) return;
  {
    std::lock_guard lock(m_analysis.filterLock);
    if (m_demux) m_demux->Release();
    m_demux = demux.Get();
    m_demux->AddRef();
  }
  m_pGraph->AddFilter(demux.Get(), kNvidiaDemuxName);
}

void TsSourceFilter::RegisterGraphEntry() {
  if (!m_pGraph || m_graphCookie) return;
  char name[64];
  std::snprintf(name, sizeof name, "FilterGraph %08x pid %08x",
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(m_pGraph)),
                static_cast<unsigned>(GetCurrentProcessId()));
  RegisterInRunningObjectTable(m_pGraph, name, &m_graphCookie);
}

void TsSourceFilter::RevokeGraphEntry() { RevokeFromRunningObjectTable(m_graphCookie); }

void TsSourceFilter::RegisterFilterEntry() {
  if (m_filterCookie) return;
  char pid[32];
  std::snprintf(pid, sizeof pid, " pid %08x", static_cast<unsigned>(GetCurrentProcessId()));
  RegisterInRunningObjectTable(static_cast<ITsSourceInfo*>(this), "Flumetta:" + m_loadedName + pid,
                               &m_filterCookie);
}

void TsSourceFilter::RevokeFilterEntry() { RevokeFromRunningObjectTable(m_filterCookie); }

// ---- file loading ----

STDMETHODIMP TsSourceFilter::Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  const std::string path = Utf16ToUtf8(fileName);
  std::lock_guard lock(m_analysis.filterLock);
  CMediaType mediaType;
  if (type) {
    if (FAILED(mediaType.Set(*type))) return E_OUTOFMEMORY;
  } else {
    mediaType.SetType(&MEDIATYPE_Stream);
    mediaType.SetSubtype(&GUID_NULL);
  }
  if (FAILED(m_analysis.reader.Open(path.c_str()))) return E_FAIL;
  m_analysis.reader.Close();  // LoadFile opens it itself

  m_loadedName = path.substr(0, 260);
  m_wideName = fileName;
  m_mediaType = mediaType;
  m_hasFile = true;

  const HRESULT hr = LoadFile(m_analysis, path.c_str(), [this]() -> TsPinState* {
    if (m_pin) return &m_pin->State();
    HRESULT hr = S_OK;
    const bool elementaryVideo = m_analysis.settings.prefDemux == kPrefDemuxElementaryVideo;
    auto* pin = new (std::nothrow) TsOutputPin(&hr, this, elementaryVideo);
    if (!pin) return nullptr;
    if (FAILED(hr)) {
      delete pin;
      return nullptr;
    }
    m_pin = pin;
    return &pin->State();
  });
  // The seeking base starts from the duration the analysis settled on.
  if (m_pin) m_pin->Seeking().SetDuration(m_pin->State().duration);
  return hr;
}

STDMETHODIMP TsSourceFilter::GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  std::lock_guard lock(m_analysis.filterLock);
  if (!m_hasFile) Load(kDefaultFileName, nullptr);
  *fileName = m_hasFile ? CoTaskMemDupWide(m_wideName) : nullptr;
  if (m_hasFile && !*fileName) return E_OUTOFMEMORY;
  if (type) return CopyMediaType(type, &m_mediaType);
  return S_OK;
}

// ---- ITsSourceInfo ----

// The typed queries are the analysis core's; this adapts their widths to the interface's.
template <class Out, class Query>
static HRESULT Narrowed(Out* out, Query query) {
  if (!out) return E_INVALIDARG;
  std::uint32_t value = *out;
  HRESULT hr = query(&value);
  if (SUCCEEDED(hr)) *out = static_cast<Out>(value);
  return hr;
}

STDMETHODIMP TsSourceFilter::GetTransportStreamId(WORD* transportStreamId) {
  return tsfilter::GetTransportStreamId(m_analysis, transportStreamId);
}

STDMETHODIMP TsSourceFilter::GetPatVersion(BYTE* version) { return tsfilter::GetPatVersion(m_analysis, version); }

STDMETHODIMP TsSourceFilter::GetProgramCount(DWORD* count) { return tsfilter::GetProgramCount(m_analysis, count); }

STDMETHODIMP TsSourceFilter::GetProgramNumber(LONG index, WORD* programNumber) {
  return Narrowed(programNumber, [&](std::uint32_t* value) {
    return tsfilter::GetProgramNumber(m_analysis, static_cast<std::uint32_t>(index), value);
  });
}

STDMETHODIMP TsSourceFilter::GetProgramPmtPid(LONG index, WORD* pmtPid) {
  return Narrowed(pmtPid, [&](std::uint32_t* value) {
    return tsfilter::GetProgramPmtPid(m_analysis, static_cast<std::uint32_t>(index), value);
  });
}

STDMETHODIMP TsSourceFilter::GetPmtPid(WORD programNumber, WORD* pmtPid) {
  return Narrowed(pmtPid, [&](std::uint32_t* value) { return tsfilter::GetPmtPid(m_analysis, programNumber, value); });
}

STDMETHODIMP TsSourceFilter::GetPmtVersion(WORD programNumber, BYTE* version) {
  return tsfilter::GetPmtVersion(m_analysis, programNumber, version);
}

STDMETHODIMP TsSourceFilter::GetStreamCount(WORD programNumber, WORD* count) {
  return Narrowed(count, [&](std::uint32_t* value) { return tsfilter::GetStreamCount(m_analysis, programNumber, value); });
}

STDMETHODIMP TsSourceFilter::GetStreamType(WORD programNumber, DWORD streamIndex, BYTE* streamType) {
  return tsfilter::GetStreamType(m_analysis, programNumber, streamIndex, streamType);
}

STDMETHODIMP TsSourceFilter::GetStreamPid(WORD programNumber, DWORD streamIndex, WORD* pid) {
  return tsfilter::GetStreamPid(m_analysis, programNumber, streamIndex, pid);
}

STDMETHODIMP TsSourceFilter::GetAttribute(LPCWSTR key, LPWSTR* answer) {
  // Pin lock before filter lock, as everywhere: the stream-state keys read the pin's state.
  std::unique_lock<CSpinCritSec> pinLock;
  if (m_pin) pinLock = std::unique_lock(m_pin->State().pinLock);
  std::lock_guard lock(m_analysis.filterLock);
  Attributes attributes(*this);
  return tsfilter::GetAttribute(attributes, key, answer);
}

// ---- audio track selection ----

namespace {

constexpr DWORD kAudioStreamGroup = 0x648E51;
// During a delivery, tracks are switched only once it is under way. A filter that is not
// delivering (position 0: loaded and not yet run, or stopped) switches at once, so a host can
// choose the track before it runs the graph: the converter does so, and refused there the choice
// would silently not reach the conversion.
constexpr std::uint32_t kEarliestSwitchPacket = 30000;

OutputKind AudioOutputKind(AudioKind kind) {
  return kind == AudioKind::Ac3 ? OutputKind::Ac3Audio : kind == AudioKind::Aac ? OutputKind::AacAudio : OutputKind::MpegAudio;
}

}  // namespace

STDMETHODIMP TsSourceFilter::Count(DWORD* streams) {
  if (!streams) return E_POINTER;
  std::lock_guard lock(m_analysis.filterLock);
  *streams = m_analysis.model.audioTrackCount;
  return S_OK;
}

STDMETHODIMP TsSourceFilter::Info(LONG index, AM_MEDIA_TYPE** type, DWORD* flags, LCID* lcid, DWORD* group,
                                  WCHAR** name, IUnknown** object, IUnknown** unk) {
  std::lock_guard lock(m_analysis.filterLock);
  const ProgramModel& model = m_analysis.model;
  if (index < 0 || index >= model.audioTrackCount || index >= static_cast<LONG>(ProgramModel::kMaxAudioTracks)) {
    return E_INVALIDARG;
  }
  const AudioTrack& track = model.audioTracks[index];
  if (type) {
    CMediaType audioType;
    *type = MakeOutputMediaType(AudioOutputKind(track.kind), m_analysis.formats, audioType)
                ? CreateMediaType(&audioType)
                : nullptr;
    if (!*type) return E_OUTOFMEMORY;
  }
  if (flags) *flags = index == m_analysis.selectedAudioTrack ? AMSTREAMSELECTINFO_ENABLED : 0;
  if (lcid) *lcid = 0;
  if (group) *group = kAudioStreamGroup;
  if (name) {
    *name = CoTaskMemDupUtf8(AudioTrackName(track, index));
    if (!*name) return E_OUTOFMEMORY;
  }
  if (object) *object = nullptr;
  if (unk) *unk = nullptr;
  return S_OK;
}

STDMETHODIMP TsSourceFilter::Enable(LONG index, DWORD flags) {
  if (!(flags & AMSTREAMSELECTENABLE_ENABLE)) return E_NOTIMPL;
  std::uint32_t position = 0;
  if (m_pin) {
    std::lock_guard pinLock(m_pin->State().pinLock);
    position = m_pin->State().position;
  }
  bool ac3Mode = false;
  {
    std::lock_guard lock(m_analysis.filterLock);
    const ProgramModel& model = m_analysis.model;
    if (index < 0 || index >= model.audioTrackCount || index >= static_cast<LONG>(ProgramModel::kMaxAudioTracks) ||
        (position != 0 && position < kEarliestSwitchPacket)) {
      return E_INVALIDARG;
    }
    const std::size_t selected =
        m_analysis.selectedAudioTrack < ProgramModel::kMaxAudioTracks ? m_analysis.selectedAudioTrack : 0;
    if (model.audioTracks[index].kind == model.audioTracks[selected].kind) {
      const HRESULT hr = MapPids(&model.audioTracks[index], model.videoPid);
      m_analysis.selectedAudioTrack = static_cast<std::uint16_t>(index);
      (void)hr;
      return S_OK;
    }
    ac3Mode = m_analysis.settings.ac3 != 0;
  }
  // The other kind needs another media type on the demultiplexer's audio pin: the user may switch
  // the mode, which applies when the graph is built again.
  const char* question =
      ac3Mode ? "The Flumetta filter is currently in AC3 audio mode. Would you like to select MPEG mode?\n\n"
                "Note: Restart the player application to activate the new media type."
              : "The Flumetta filter is currently in MPEG audio mode. Would you like to select AC3 mode?\n\n"
                "Note: Restart the player application to activate the new media type.";
  if (MessageBox(0, question, "Media Type Change", MB_YESNO) == IDYES) {
    {
      std::lock_guard lock(m_analysis.filterLock);
      m_analysis.settings.ac3 = ac3Mode ? 0 : 1;
    }
    StoreAc3Setting(!ac3Mode);
  }
  return E_INVALIDARG;
}

// ---- demultiplexer set-up ----

HRESULT TsSourceFilter::SetUpDemultiplexer(IPin* receivePin) {
  {
    std::lock_guard lock(m_analysis.filterLock);
    if (m_demux) return S_OK;
  }
  PIN_INFO info{};
  HRESULT hr = receivePin->QueryPinInfo(&info);
  if (FAILED(hr)) return hr;
  ComPtr<IBaseFilter> downstream;
  downstream.Attach(info.pFilter);

  // Only the strict setting makes a failed configuration fail the connection; a pin without a
  // filter has nothing to configure.
  const bool strict = m_analysis.settings.prefDemux == 1;
  if (downstream) {
    hr = ConfigureDemux(downstream.Get());
    if (FAILED(hr) && !strict) hr = S_OK;
  }
  if (FAILED(hr)) return hr;
  // Connected: hosts may now find this filter by its file name in the running object table.
  std::lock_guard lock(m_analysis.filterLock);
  RegisterFilterEntry();
  return hr;
}

void TsSourceFilter::ForgetDemultiplexer(bool connectionBroken) {
  std::lock_guard lock(m_analysis.filterLock);
  if (m_demux) m_demux->Release();
  m_demux = nullptr;
  if (connectionBroken) RevokeFilterEntry();
}

HRESULT TsSourceFilter::CreateDemuxPin(IMpeg2Demultiplexer* demux, int kind) {
  CMediaType type;
  const auto outputKind = static_cast<OutputKind>(kind);
  if (!MakeOutputMediaType(outputKind, m_analysis.formats, type)) return E_OUTOFMEMORY;
  std::u16string name = OutputPinName(outputKind);
  IPin* pin = nullptr;
  HRESULT hr = demux->CreateOutputPin(&type, name.data(), &pin);
  // A pin of that name is left from an earlier connection: while it is free it takes the type as
  // it stands now, with what the analysis has learnt of the picture since (a later sequence header).
  if (hr == VFW_E_DUPLICATE_NAME) demux->SetOutputPinMediaType(name.data(), &type);
  if (SUCCEEDED(hr) && !pin) hr = E_FAIL;
  if (pin) pin->Release();
  return hr;
}

HRESULT TsSourceFilter::ConfigureDemux(IBaseFilter* downstream) {
  std::lock_guard lock(m_analysis.filterLock);
  ProgramModel& model = m_analysis.model;
  if (!model.programComplete) return E_FAIL;

  std::uint16_t selected = 0;
  if (model.audioTrackCount >= 2) {
    const AudioKind wanted = m_analysis.settings.ac3 ? AudioKind::Ac3 : AudioKind::Mpeg;
    for (std::uint16_t i = 0; i < model.audioTrackCount && i < ProgramModel::kMaxAudioTracks; ++i) {
      if (model.audioTracks[i].kind == wanted) {
        selected = i;
        break;
      }
    }
  }
  m_analysis.selectedAudioTrack = selected;

  ComPtr<IMpeg2Demultiplexer> demux;
  HRESULT hr = downstream->QueryInterface(IID_PPV_ARGS(demux.GetAddressOf()));
  if (FAILED(hr)) return hr;

  const int videoKind = static_cast<int>(model.videoStreamType == kVideoStreamTypeH264 ? OutputKind::H264Video
                                                                                       : OutputKind::Mpeg2Video);
  hr = CreateDemuxPin(demux.Get(), videoKind);
  if (SUCCEEDED(hr)) {
    const AudioKind kind = model.audioTracks[selected].kind;
    const OutputKind audioKind = kind == AudioKind::Ac3   ? OutputKind::Ac3Audio
                                 : kind == AudioKind::Aac ? OutputKind::AacAudio
                                                          : OutputKind::MpegAudio;
    hr = CreateDemuxPin(demux.Get(), static_cast<int>(audioKind));
  }
  if (SUCCEEDED(hr)) {
    const std::uint16_t next = selected + 1;
    if (m_analysis.settings.audio2 && next < model.audioTrackCount && next < ProgramModel::kMaxAudioTracks &&
        model.audioTracks[next].kind == model.audioTracks[selected].kind) {
      selected = next;
      m_analysis.selectedAudioTrack = selected;
    }
    m_demux = downstream;
    m_demux->AddRef();
    hr = MapPids(&model.audioTracks[selected], model.videoPid);
  }
  // A pin of that name left from an earlier connection counts as success.
  return hr == VFW_E_DUPLICATE_NAME ? S_OK : hr;
}

HRESULT TsSourceFilter::MapPids(const AudioTrack* track, std::uint16_t videoPid) {
  std::lock_guard lock(m_analysis.filterLock);
  if (!m_demux) return E_FAIL;

  auto findPin = [this](std::initializer_list<const char16_t*> names, ComPtr<IMPEG2PIDMap>& map) {
    HRESULT result = E_FAIL;
    for (const char16_t* name : names) {
      ComPtr<IPin> pin;
      result = m_demux->FindPin(name, pin.GetAddressOf());
      if (SUCCEEDED(result)) return pin->QueryInterface(IID_PPV_ARGS(map.ReleaseAndGetAddressOf()));
    }
    return result;
  };

  ComPtr<IMPEG2PIDMap> videoMap;
  if (SUCCEEDED(findPin({u"H.264", u"Video"}, videoMap))) {
    ULONG pid = videoPid & 0xFFFFu;
    videoMap->MapPID(1, &pid, MEDIA_ELEMENTARY_STREAM);
  }

  ComPtr<IMPEG2PIDMap> audioMap;
  HRESULT hr = findPin({u"AC3", u"Audio", u"AAC"}, audioMap);
  if (FAILED(hr)) return hr;
  if (track) {
    if (m_analysis.audioPidInUse) {
      ULONG inUse = m_analysis.audioPidInUse;
      audioMap->UnmapPID(1, &inUse);
    }
    ULONG pid = track->pid;
    hr = audioMap->MapPID(1, &pid, MEDIA_ELEMENTARY_STREAM);
    m_analysis.audioPidInUse = track->pid;
  } else {
    const std::size_t index =
        m_analysis.selectedAudioTrack < ProgramModel::kMaxAudioTracks ? m_analysis.selectedAudioTrack : 0;
    ULONG pid = m_analysis.model.audioTracks[index].pid;
    hr = audioMap->UnmapPID(1, &pid);
    m_analysis.audioPidInUse = 0;
  }
  return hr;
}

}  // namespace tsfilter
