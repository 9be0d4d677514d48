#include "platform/filters/Mpeg2Demultiplexer.h"

#include <algorithm>
#include <cstring>

#include "platform/com/wstring.h"
#include "platform/dshow/FormatBlocks.h"

namespace {

constexpr std::size_t kProbeBytes = 1024 * 1024;  // enough to see a program stream's first packets
constexpr LONG kPullBlock = 256 * 1024;

// 90 kHz ticks to 100-ns units and back.
REFERENCE_TIME ToReferenceTime(std::int64_t ticks) { return ticks * 1000 / 9; }
std::int64_t ToTicks(REFERENCE_TIME time) { return time / 1000 * 9 + time % 1000 * 9 / 1000; }

class PidMapEnumerator final : public ComObject<IEnumPIDMap> {
 public:
  explicit PidMapEnumerator(std::vector<std::uint16_t> pids, std::size_t position = 0)
      : m_pids(std::move(pids)), m_position(position) {}
  STDMETHODIMP Next(ULONG count, PID_MAP* maps, ULONG* fetched) override {
    if (!maps) return E_POINTER;
    ULONG done = 0;
    for (; done < count && m_position < m_pids.size(); ++done, ++m_position) {
      maps[done].ulPID = m_pids[m_position];
      maps[done].MediaSampleContent = MEDIA_ELEMENTARY_STREAM;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    m_position = std::min(m_pids.size(), m_position + count);
    return m_position < m_pids.size() ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumPIDMap** copy) override {
    if (!copy) return E_POINTER;
    *copy = new PidMapEnumerator(m_pids, m_position);
    return S_OK;
  }

 private:
  std::vector<std::uint16_t> m_pids;
  std::size_t m_position;
};

// The types of the pins made for a program stream.
CMediaType VideoTypeFor(PsStreamKind kind) {
  CMediaType type;
  type.InitMediaType();
  type.SetType(&MEDIATYPE_Video);
  const GUID& subtype = kind == PsStreamKind::Mpeg1Video  ? MEDIASUBTYPE_MPEG1Payload
                        : kind == PsStreamKind::H264Video ? MEDIASUBTYPE_H264
                                                          : MEDIASUBTYPE_MPEG2_VIDEO;
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_None);
  return type;
}

CMediaType AudioTypeFor(PsStreamKind kind) {
  CMediaType type;
  type.InitMediaType();
  type.SetType(&MEDIATYPE_Audio);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  if (kind == PsStreamKind::Ac3Audio) {
    type.SetSubtype(&MEDIASUBTYPE_DOLBY_AC3);
    // A plain format record; a WAV writer corrects it from the first frame header.
    WAVEFORMATEX format{};
    format.wFormatTag = 0x2000;
    format.nChannels = 2;
    format.nSamplesPerSec = 48000;
    format.nAvgBytesPerSec = 48000;
    format.nBlockAlign = 1;
    type.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof format);
  } else {
    type.SetSubtype(&MEDIASUBTYPE_MPEG1AudioPayload);
    MPEG1WAVEFORMAT format{};
    format.wfx.wFormatTag = WAVE_FORMAT_MPEG;
    format.wfx.nChannels = 2;
    format.wfx.nSamplesPerSec = 48000;
    format.wfx.nAvgBytesPerSec = 24000;
    format.wfx.nBlockAlign = 1;
    format.wfx.cbSize = sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX);
    format.fwHeadLayer = 2;
    type.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof format);
  }
  return type;
}

}  // namespace

// ---- output pin ----

Mpeg2DemuxOutputPin::Mpeg2DemuxOutputPin(Mpeg2Demultiplexer* demux, CCritSec* lock, HRESULT* result, LPCWSTR name,
                                         const AM_MEDIA_TYPE& type, std::size_t stream)
    : CBaseOutputPin("Demultiplexer output", demux, lock, result, name), m_demux(demux), m_type(type), m_stream(stream) {}

HRESULT Mpeg2DemuxOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IMPEG2PIDMap::kIid) return GetInterface(static_cast<IMPEG2PIDMap*>(this), ppv);
  return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT Mpeg2DemuxOutputPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  if (*type->Type() != *m_type.Type() || *type->Subtype() != *m_type.Subtype()) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT Mpeg2DemuxOutputPin::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *type = m_type;
  return S_OK;
}

HRESULT Mpeg2DemuxOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  request->cBuffers = std::max<LONG>(request->cBuffers, Mpeg2Demultiplexer::kOutputBuffers);
  request->cbBuffer = std::max<LONG>(request->cbBuffer, static_cast<LONG>(Mpeg2Demultiplexer::kUnitCapacity));
  if (request->cbAlign < 1) request->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer > 0 && actual.cBuffers > 0 ? S_OK : E_FAIL;
}

STDMETHODIMP Mpeg2DemuxOutputPin::MapPID(ULONG count, ULONG* pids, MEDIA_SAMPLE_CONTENT content) {
  if (!pids && count > 0) return E_POINTER;
  if (content != MEDIA_ELEMENTARY_STREAM) return E_NOTIMPL;  // only elementary streams are offered
  return m_demux->MapPids(m_stream, count, pids);
}

STDMETHODIMP Mpeg2DemuxOutputPin::UnmapPID(ULONG count, ULONG* pids) {
  if (!pids && count > 0) return E_POINTER;
  return m_demux->UnmapPids(count, pids);
}

STDMETHODIMP Mpeg2DemuxOutputPin::EnumPIDMap(IEnumPIDMap** maps) {
  if (!maps) return E_POINTER;
  *maps = new PidMapEnumerator(m_demux->PidsOf(m_stream));
  return S_OK;
}

HRESULT Mpeg2DemuxOutputPin::DeliverUnit(const PesUnit& unit) {
  if (!IsConnected()) return S_OK;
  std::size_t done = 0;
  while (done < unit.size) {
    IMediaSample* sample = nullptr;
    HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    // A downstream allocator may give smaller buffers than asked: the unit then spans samples.
    const std::size_t take = std::min<std::size_t>(unit.size - done, static_cast<std::size_t>(sample->GetSize()));
    std::memcpy(buffer, unit.data + done, take);
    sample->SetActualDataLength(static_cast<LONG>(take));
    const bool first = done == 0;
    if (first && unit.hasPts) {
      REFERENCE_TIME start = ToReferenceTime(unit.pts);
      LONGLONG decode = ToReferenceTime(unit.dts);
      sample->SetTime(&start, nullptr);
      sample->SetMediaTime(&decode, &decode);
    }
    sample->SetSyncPoint(first && unit.isPesStart && unit.hasPts ? TRUE : FALSE);
    sample->SetDiscontinuity(first && unit.discontinuity ? TRUE : FALSE);
    hr = Deliver(sample);
    sample->Release();
    if (FAILED(hr)) return hr;
    done += take;
  }
  return S_OK;
}

// ---- input pin ----

Mpeg2DemuxInputPin::Mpeg2DemuxInputPin(Mpeg2Demultiplexer* demux, CCritSec* lock, HRESULT* result)
    : CBaseInputPin("Demultiplexer input", demux, lock, result, u"MPEG-2 Stream"), m_demux(demux) {}

HRESULT Mpeg2DemuxInputPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  if (*type->Type() != MEDIATYPE_Stream) return VFW_E_TYPE_NOT_ACCEPTED;
  const GUID& subtype = *type->Subtype();
  if (subtype == MEDIASUBTYPE_MPEG2_TRANSPORT || subtype == MEDIASUBTYPE_MPEG2_PROGRAM ||
      subtype == MEDIASUBTYPE_MPEG1System) {
    return S_OK;
  }
  return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Mpeg2DemuxInputPin::CheckConnect(IPin* pin) {
  HRESULT hr = CBasePin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  // A pull source offers IAsyncReader; a push source offers nothing more.
  if (m_reader) {
    m_reader->Release();
    m_reader = nullptr;
  }
  pin->QueryInterface(IAsyncReader::kIid, reinterpret_cast<void**>(&m_reader));
  return S_OK;
}

HRESULT Mpeg2DemuxInputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  return m_demux->OnInputConnected(m_mt, m_reader);
}

HRESULT Mpeg2DemuxInputPin::BreakConnect() {
  m_demux->OnInputDisconnected();
  if (m_reader) {
    m_reader->Release();
    m_reader = nullptr;
  }
  return CBaseInputPin::BreakConnect();
}

STDMETHODIMP Mpeg2DemuxInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  BYTE* data = nullptr;
  hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  return m_demux->ReceiveData(data, sample->GetActualDataLength());
}

STDMETHODIMP Mpeg2DemuxInputPin::EndOfStream() {
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  return m_demux->OnEndOfStream();
}

STDMETHODIMP Mpeg2DemuxInputPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  return m_demux->OnBeginFlush();
}

STDMETHODIMP Mpeg2DemuxInputPin::EndFlush() {
  m_demux->OnEndFlush();
  return CBaseInputPin::EndFlush();
}

STDMETHODIMP Mpeg2DemuxInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBasePin::NewSegment(start, stop, rate);
  return m_demux->OnNewSegment(start, stop, rate);
}

// ---- filter ----

HRESULT Mpeg2Demultiplexer::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* filter = new Mpeg2Demultiplexer(nullptr);
  filter->NonDelegatingAddRef();
  HRESULT hr = filter->NonDelegatingQueryInterface(riid, ppv);
  filter->NonDelegatingRelease();
  return hr;
}

Mpeg2Demultiplexer::Mpeg2Demultiplexer(IUnknown* outer)
    : CBaseFilter("MPEG-2 Demultiplexer", outer, &m_lock, CLSID_MPEG2Demultiplexer),
      m_ts(*this, kUnitCapacity),
      m_ps(*this) {
  HRESULT hr = S_OK;
  m_input = std::make_unique<Mpeg2DemuxInputPin>(this, &m_lock, &hr);
  m_seeking.reset(new ProgramStreamSeeking(GetOwner(), static_cast<IProgramStreamSeekTarget*>(this)));
}

Mpeg2Demultiplexer::~Mpeg2Demultiplexer() {
  StopPullThread();
}

HRESULT Mpeg2Demultiplexer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IMpeg2Demultiplexer::kIid) return GetInterface(static_cast<IMpeg2Demultiplexer*>(this), ppv);
  if (riid == IMediaSeeking::kIid && m_mode == InputMode::Program) {
    return GetInterface(static_cast<IMediaSeeking*>(m_seeking.get()), ppv);
  }
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int Mpeg2Demultiplexer::GetPinCount() {
  CAutoLock lock(&m_lock);
  return 1 + static_cast<int>(m_outputs.size());
}

CBasePin* Mpeg2Demultiplexer::GetPin(int n) {
  CAutoLock lock(&m_lock);
  if (n == 0) return m_input.get();
  if (n < 0 || n > static_cast<int>(m_outputs.size())) return nullptr;
  return m_outputs[static_cast<std::size_t>(n - 1)].get();
}

Mpeg2DemuxOutputPin* Mpeg2Demultiplexer::FindOutput(LPCWSTR name) {
  for (const auto& pin : m_outputs) {
    if (std::u16string_view(pin->Name()) == std::u16string_view(name)) return pin.get();
  }
  return nullptr;
}

HRESULT Mpeg2Demultiplexer::AddOutputPin(const AM_MEDIA_TYPE& type, LPCWSTR name, Mpeg2DemuxOutputPin** pin) {
  if (FindOutput(name)) return VFW_E_DUPLICATE_NAME;
  HRESULT hr = S_OK;
  auto created = std::make_unique<Mpeg2DemuxOutputPin>(this, &m_lock, &hr, name, type, m_streamPins.size());
  if (FAILED(hr)) return hr;
  {
    CAutoLock receive(&m_receiveLock);
    m_streamPins.push_back(created.get());
  }
  if (pin) *pin = created.get();
  m_outputs.push_back(std::move(created));
  IncrementPinVersion();
  return S_OK;
}

STDMETHODIMP Mpeg2Demultiplexer::CreateOutputPin(AM_MEDIA_TYPE* type, LPWSTR pinName, IPin** pin) {
  if (!type || !pinName || !pin) return E_POINTER;
  *pin = nullptr;
  if (pinName[0] == 0) return E_INVALIDARG;
  CAutoLock lock(&m_lock);
  Mpeg2DemuxOutputPin* created = nullptr;
  HRESULT hr = AddOutputPin(*type, pinName, &created);
  if (FAILED(hr)) return hr;
  *pin = created;
  created->AddRef();
  return S_OK;
}

STDMETHODIMP Mpeg2Demultiplexer::SetOutputPinMediaType(LPWSTR pinName, AM_MEDIA_TYPE* type) {
  if (!type || !pinName) return E_POINTER;
  CAutoLock lock(&m_lock);
  Mpeg2DemuxOutputPin* pin = FindOutput(pinName);
  if (!pin) return VFW_E_NOT_FOUND;
  if (pin->IsConnected()) return VFW_E_ALREADY_CONNECTED;
  pin->SetType(*type);
  return S_OK;
}

STDMETHODIMP Mpeg2Demultiplexer::DeleteOutputPin(LPWSTR pinName) {
  if (!pinName) return E_POINTER;
  CAutoLock lock(&m_lock);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  auto it = std::find_if(m_outputs.begin(), m_outputs.end(), [pinName](const auto& pin) {
    return std::u16string_view(pin->Name()) == std::u16string_view(pinName);
  });
  if (it == m_outputs.end()) return VFW_E_NOT_FOUND;
  Mpeg2DemuxOutputPin* pin = it->get();
  if (IPin* peer = pin->GetConnected()) {
    peer->Disconnect();
    pin->Disconnect();
  }
  {
    CAutoLock receive(&m_receiveLock);
    m_ts.UnmapStream(pin->Stream());
    m_streamPins[pin->Stream()] = nullptr;
  }
  m_deleted.push_back(std::move(*it));
  m_outputs.erase(it);
  IncrementPinVersion();
  return S_OK;
}

HRESULT Mpeg2Demultiplexer::MapPids(std::size_t stream, ULONG count, const ULONG* pids) {
  for (ULONG i = 0; i < count; ++i) {
    if (pids[i] > TsDemuxEngine::kMaxPid) return E_INVALIDARG;
  }
  CAutoLock receive(&m_receiveLock);
  for (ULONG i = 0; i < count; ++i) m_ts.MapPid(static_cast<std::uint16_t>(pids[i]), stream);
  return S_OK;
}

HRESULT Mpeg2Demultiplexer::UnmapPids(ULONG count, const ULONG* pids) {
  for (ULONG i = 0; i < count; ++i) {
    if (pids[i] > TsDemuxEngine::kMaxPid) return E_INVALIDARG;
  }
  CAutoLock receive(&m_receiveLock);
  for (ULONG i = 0; i < count; ++i) m_ts.UnmapPid(static_cast<std::uint16_t>(pids[i]));
  return S_OK;
}

std::vector<std::uint16_t> Mpeg2Demultiplexer::PidsOf(std::size_t stream) {
  CAutoLock receive(&m_receiveLock);
  return m_ts.PidsOf(stream);
}

TsDemuxCounters Mpeg2Demultiplexer::Counters() {
  CAutoLock receive(&m_receiveLock);
  return m_ts.Counters();
}

HRESULT Mpeg2Demultiplexer::OnInputConnected(const CMediaType& type, IAsyncReader* reader) {
  const bool program = *type.Subtype() != MEDIASUBTYPE_MPEG2_TRANSPORT;
  {
    CAutoLock receive(&m_receiveLock);
    m_mode = program ? InputMode::Program : InputMode::Transport;
    m_ts.Reset();
    m_ps.Reset();
  }
  if (!program) return S_OK;
  // A program stream is read by this filter itself; its streams must be known now so that the
  // graph can render the pins made for them.
  if (!reader) return VFW_E_NO_INTERFACE;
  return CreateProgramStreamPins(reader);
}

HRESULT Mpeg2Demultiplexer::CreateProgramStreamPins(IAsyncReader* reader) {
  LONGLONG total = 0, available = 0;
  HRESULT hr = reader->Length(&total, &available);
  if (FAILED(hr)) return hr;
  const std::size_t size = static_cast<std::size_t>(std::min<LONGLONG>(total, kProbeBytes));
  std::vector<BYTE> head(size);
  hr = reader->SyncRead(0, static_cast<LONG>(size), head.data());
  if (FAILED(hr)) return hr;
  std::vector<PsStreamInfo> streams;
  if (!ProgramStreamReader::Probe(head.data(), head.size(), &streams)) return VFW_E_INVALID_FILE_FORMAT;

  const PsStreamInfo* video = nullptr;
  const PsStreamInfo* audio = nullptr;
  for (const PsStreamInfo& s : streams) {
    const bool isVideo = s.kind == PsStreamKind::Mpeg1Video || s.kind == PsStreamKind::Mpeg2Video ||
                         s.kind == PsStreamKind::H264Video;
    const bool isAudio = s.kind == PsStreamKind::MpegAudio || s.kind == PsStreamKind::Ac3Audio;
    if (isVideo && !video) video = &s;
    if (isAudio && !audio) audio = &s;
  }
  if (!video && !audio) return VFW_E_INVALID_FILE_FORMAT;

  CAutoLock receive(&m_receiveLock);
  m_ps.UnmapAll();
  if (video) {
    Mpeg2DemuxOutputPin* pin = FindOutput(u"Video");
    if (!pin) hr = AddOutputPin(VideoTypeFor(video->kind), u"Video", &pin);
    if (FAILED(hr)) return hr;
    m_ps.MapStream(video->key, pin->Stream());
  }
  if (audio) {
    const char16_t* name = audio->kind == PsStreamKind::Ac3Audio ? u"AC3" : u"Audio";
    Mpeg2DemuxOutputPin* pin = FindOutput(name);
    if (!pin) hr = AddOutputPin(AudioTypeFor(audio->kind), name, &pin);
    if (FAILED(hr)) return hr;
    m_ps.MapStream(audio->key, pin->Stream());
  }
  m_pullBuffer.reset(new BYTE[kPullBlock]);
  MeasureProgramStream(reader, video ? *video : *audio);
  return S_OK;
}

void Mpeg2Demultiplexer::MeasureProgramStream(IAsyncReader* reader, const PsStreamInfo& timed) {
  m_pullStart = 0;
  m_pullStop = -1;
  m_startTicks = 0;
  m_lastTimestamp = -1;
  m_seeking->ResetPositions();
  // A stream without time stamps is still delivered; it only cannot seek or tell its duration.
  const HRESULT hr = m_timeline.Measure(reader, timed.key, timed.kind);
  m_seeking->SetDuration(SUCCEEDED(hr) ? ToReferenceTime(m_timeline.Duration()) : 0);
}

HRESULT Mpeg2Demultiplexer::SeekProgramStream(REFERENCE_TIME start, REFERENCE_TIME stop, bool restart) {
  CAutoLock lock(&m_lock);
  IAsyncReader* reader = m_input->Reader();
  if (m_mode != InputMode::Program || !reader) return VFW_E_NOT_CONNECTED;
  if (!m_timeline.IsMeasured()) return E_NOTIMPL;
  std::int64_t startOffset = m_pullStart, stopOffset = -1;
  HRESULT hr = m_timeline.StopOffset(reader, ToTicks(stop), &stopOffset);
  if (SUCCEEDED(hr) && restart) hr = m_timeline.StartOffset(reader, ToTicks(start), &startOffset);
  if (FAILED(hr)) return hr;
  m_pullStop = stopOffset;
  if (!restart) return S_OK;
  m_pullStart = startOffset;
  m_startTicks = ToTicks(std::max<REFERENCE_TIME>(start, 0));
  m_lastTimestamp = -1;
  if (IsStopped()) return S_OK;  // the next run starts there

  // Active: what is on its way is flushed, and the pull thread starts again at the new offset.
  m_stopPull = true;
  for (const auto& pin : m_outputs) {
    if (pin->IsConnected()) pin->DeliverBeginFlush();
  }
  StopPullThread();
  {
    CAutoLock receive(&m_receiveLock);
    m_ps.Reset();
    for (Mpeg2DemuxOutputPin* pin : m_streamPins) {
      if (pin && pin->IsConnected()) {
        pin->DeliverEndFlush();
        pin->DeliverNewSegment(start, stop, 1.0);
      }
    }
  }
  StartPullThread();
  return S_OK;
}

REFERENCE_TIME Mpeg2Demultiplexer::ProgramStreamPosition() {
  const std::int64_t last = m_lastTimestamp;
  std::int64_t ticks = last < 0 ? m_startTicks.load() : m_timeline.TicksFromStart(last);
  ticks = std::clamp<std::int64_t>(ticks, 0, m_timeline.Duration());
  return ToReferenceTime(ticks);
}

void Mpeg2Demultiplexer::OnInputDisconnected() {
  StopPullThread();
  CAutoLock receive(&m_receiveLock);
  m_mode = InputMode::None;
}

HRESULT Mpeg2Demultiplexer::DeliverPesUnit(std::size_t stream, const PesUnit& unit) {
  if (stream >= m_streamPins.size() || !m_streamPins[stream]) return S_OK;
  return m_streamPins[stream]->DeliverUnit(unit);
}

HRESULT Mpeg2Demultiplexer::ReceiveData(const BYTE* data, long size) {
  if (size <= 0) return S_OK;
  CAutoLock receive(&m_receiveLock);
  switch (m_mode) {
    case InputMode::Transport:
      return m_ts.Push(data, static_cast<std::size_t>(size));
    case InputMode::Program:
      return m_ps.Push(data, static_cast<std::size_t>(size));
    case InputMode::None:
      break;
  }
  return VFW_E_NOT_CONNECTED;
}

void Mpeg2Demultiplexer::DeliverEndOfStreamToOutputs() {
  for (Mpeg2DemuxOutputPin* pin : m_streamPins) {
    if (pin && pin->IsConnected()) pin->DeliverEndOfStream();
  }
}

HRESULT Mpeg2Demultiplexer::OnEndOfStream() {
  CAutoLock receive(&m_receiveLock);
  // What is still being assembled is delivered before the end.
  if (m_mode == InputMode::Transport) m_ts.EndOfStream();
  if (m_mode == InputMode::Program) m_ps.EndOfStream();
  DeliverEndOfStreamToOutputs();
  return S_OK;
}

HRESULT Mpeg2Demultiplexer::OnBeginFlush() {
  // Not under the receive lock: the streaming thread may hold it while blocked downstream, and
  // the flush is what releases it.
  std::vector<Mpeg2DemuxOutputPin*> pins;
  {
    CAutoLock lock(&m_lock);
    for (const auto& pin : m_outputs) pins.push_back(pin.get());
  }
  for (Mpeg2DemuxOutputPin* pin : pins) {
    if (pin->IsConnected()) pin->DeliverBeginFlush();
  }
  return S_OK;
}

HRESULT Mpeg2Demultiplexer::OnEndFlush() {
  CAutoLock receive(&m_receiveLock);
  // Data of before the flush (a seek) never joins data after it.
  m_ts.Reset();
  m_ps.Reset();
  for (Mpeg2DemuxOutputPin* pin : m_streamPins) {
    if (pin && pin->IsConnected()) pin->DeliverEndFlush();
  }
  return S_OK;
}

HRESULT Mpeg2Demultiplexer::OnNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CAutoLock receive(&m_receiveLock);
  for (Mpeg2DemuxOutputPin* pin : m_streamPins) {
    if (pin && pin->IsConnected()) pin->DeliverNewSegment(start, stop, rate);
  }
  return S_OK;
}

STDMETHODIMP Mpeg2Demultiplexer::Pause() {
  CAutoLock lock(&m_lock);
  const bool starting = IsStopped();
  HRESULT hr = CBaseFilter::Pause();
  if (FAILED(hr) || !starting) return hr;
  {
    CAutoLock receive(&m_receiveLock);
    m_ts.Reset();
    m_ps.Reset();
  }
  if (m_mode == InputMode::Program && m_input->Reader() && !m_pullThread.joinable()) StartPullThread();
  return hr;
}

void Mpeg2Demultiplexer::StartPullThread() {
  {
    // Started in the middle, the video is delivered from its first clean start on.
    CAutoLock receive(&m_receiveLock);
    if (m_pullStart > 0 && m_timeline.IsMeasured()) m_ps.TrimUntilCleanStart(m_timeline.Key(), m_timeline.Kind());
  }
  m_lastTimestamp = -1;
  m_stopPull = false;
  m_pullThread = std::thread([this] { PullLoop(); });
}

STDMETHODIMP Mpeg2Demultiplexer::Stop() {
  m_stopPull = true;
  HRESULT hr;
  {
    CAutoLock lock(&m_lock);
    // Again under the lock: a seek may have started the pull thread anew meanwhile.
    m_stopPull = true;
    // Deactivating the outputs decommits their allocators, which wakes a pull thread waiting
    // for a buffer.
    hr = CBaseFilter::Stop();
  }
  StopPullThread();
  return hr;
}

void Mpeg2Demultiplexer::StopPullThread() {
  m_stopPull = true;
  if (m_pullThread.joinable() && m_pullThread.get_id() != std::this_thread::get_id()) m_pullThread.join();
}

void Mpeg2Demultiplexer::PullLoop() {
  IAsyncReader* reader = m_input->Reader();
  LONGLONG total = 0, available = 0;
  HRESULT hr = reader->Length(&total, &available);
  LONGLONG position = m_pullStart;
  const LONGLONG stop = m_pullStop;
  const LONGLONG fileLength = total;
  const bool stopsEarly = stop >= 0 && stop < total;
  if (stopsEarly) total = stop;
  while (SUCCEEDED(hr) && !m_stopPull && position < total) {
    const LONG length = static_cast<LONG>(std::min<LONGLONG>(kPullBlock, total - position));
    hr = reader->SyncRead(position, length, m_pullBuffer.get());
    if (FAILED(hr)) break;
    {
      CAutoLock receive(&m_receiveLock);
      hr = m_ps.Push(m_pullBuffer.get(), static_cast<std::size_t>(length));
      m_lastTimestamp = m_ps.LastTimestamp();
    }
    position += length;
  }
  if (SUCCEEDED(hr) && !m_stopPull && stopsEarly) hr = PushStopTail(reader, stop, fileLength);
  if (m_stopPull) return;
  if (FAILED(hr)) {
    NotifyEvent(EC_ERRORABORT, hr, 0);
    return;
  }
  CAutoLock receive(&m_receiveLock);
  m_ps.EndOfStream();
  DeliverEndOfStreamToOutputs();
}

HRESULT Mpeg2Demultiplexer::PushStopTail(IAsyncReader* reader, LONGLONG stop, LONGLONG total) {
  // The stop is the first video packet past the stop time; its first bytes still end the picture
  // before, so it is read with an end armed.
  constexpr LONGLONG kLargestPacket = 6 + 0xFFFF;
  const LONG length = static_cast<LONG>(std::min(kLargestPacket, total - stop));
  HRESULT hr = reader->SyncRead(stop, length, m_pullBuffer.get());
  if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
  const BYTE* p = m_pullBuffer.get();
  if (length < 6 || p[0] != 0 || p[1] != 0 || p[2] != 1) return S_OK;
  const LONG packet = std::min<LONG>(length, 6 + ((p[4] << 8) | p[5]));
  CAutoLock receive(&m_receiveLock);
  m_ps.EndBeforeNextPicture(m_timeline.Key(), m_timeline.Kind());
  return m_ps.Push(p, static_cast<std::size_t>(packet));
}
