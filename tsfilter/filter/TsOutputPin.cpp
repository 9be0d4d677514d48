#include "tsfilter/filter/TsOutputPin.h"

#include "platform/dshow/Guids.h"
#include "platform/dshow/MediaSample.h"
#include "tsfilter/analysis/PacketExaminer.h"
#include "tsfilter/analysis/PacketSample.h"
#include "tsfilter/filter/TsSourceFilter.h"

namespace tsfilter {
namespace {

constexpr DWORD kAllSeekingCapabilities = 0x1FF;

// Start or stop time -> packet index over the whole file (its size as last read, without the
// size limit). A duration below one millisecond gives no answer, so the caller keeps its state.
bool TimeToPacket(REFERENCE_TIME time, REFERENCE_TIME duration, std::uint64_t cachedSize, std::int64_t& packet) {
  const std::int64_t durationMs = static_cast<std::int32_t>(duration / 10000);
  if (durationMs <= 0) return false;
  const std::int64_t timeMs = static_cast<std::int32_t>(time / 10000);
  const std::int64_t total = static_cast<std::int64_t>(cachedSize / kPacketSize);
  packet = (timeMs * total) / durationMs;
  if (packet < 0) packet = 0;
  return true;
}

}  // namespace

// ---- seeking ----

TsSeeking::TsSeeking(TsOutputPin& pin, IUnknown* owner, HRESULT* result, CCritSec* lock)
    : CSourceSeeking("TS seeking", owner, result, lock), m_pin(pin) {
  m_dwSeekingCaps = kAllSeekingCapabilities;
}

void TsSeeking::SetDuration(REFERENCE_TIME duration) {
  CAutoLock lock(m_pLock);
  m_rtDuration = duration;
  m_rtStop = duration;
}

STDMETHODIMP TsSeeking::GetCapabilities(DWORD* capabilities) {
  if (!capabilities) return E_POINTER;
  *capabilities = m_dwSeekingCaps;
  return S_OK;
}

STDMETHODIMP TsSeeking::CheckCapabilities(DWORD* capabilities) { return capabilities ? S_OK : E_POINTER; }

STDMETHODIMP TsSeeking::IsFormatSupported(const GUID* format) {
  if (!format) return E_POINTER;
  return *format == TIME_FORMAT_MEDIA_TIME || *format == TIME_FORMAT_BYTE ? S_OK : S_FALSE;
}

STDMETHODIMP TsSeeking::SetTimeFormat(const GUID* format) {
  if (!format) return E_POINTER;
  if (*format != TIME_FORMAT_MEDIA_TIME && *format != TIME_FORMAT_BYTE) return E_INVALIDARG;
  std::lock_guard lock(m_pin.m_state.pinLock);
  m_pin.m_state.byteFormat = *format == TIME_FORMAT_BYTE;
  return S_OK;
}

STDMETHODIMP TsSeeking::GetDuration(LONGLONG* duration) {
  if (!duration) return E_POINTER;
  *duration = SeekingDuration(m_pin.m_filter.Analysis(), m_pin.m_state);
  return S_OK;
}

STDMETHODIMP TsSeeking::GetCurrentPosition(LONGLONG* current) {
  if (!current) return E_POINTER;
  *current = CurrentPosition(m_pin.m_filter.Analysis(), m_pin.m_state);
  return S_OK;
}

STDMETHODIMP TsSeeking::GetPreroll(LONGLONG* preroll) {
  if (!preroll) return E_POINTER;
  *preroll = 0;
  return S_OK;
}

HRESULT TsSeeking::ChangeStart() {
  std::int64_t packet = 0;
  {
    std::lock_guard pinLock(m_pin.m_state.pinLock);
    REFERENCE_TIME start;
    {
      CAutoLock lock(m_pLock);
      start = m_rtStart;
    }
    TsPinState& pin = m_pin.m_state;
    // The pin's duration is the one the opening analysis measured (the base's may be the estimate).
    const REFERENCE_TIME duration = pin.duration;
    pin.start = start;
    if (!TimeToPacket(start, duration, m_pin.m_filter.Analysis().reader.CachedSize(), packet)) return S_OK;
    MoveTo(packet);
  }
  // A running thread may have examined packets at the new position before the flush reached
  // downstream, and those samples are flushed away: once it has stopped, the move is made again
  // so delivery restarts at the sought packet with the discontinuity flag.
  m_pin.RestartDelivery([this, packet] {
    std::lock_guard pinLock(m_pin.m_state.pinLock);
    MoveTo(packet);
  });
  return S_OK;
}

void TsSeeking::MoveTo(std::int64_t packet) {
  TsPinState& pin = m_pin.m_state;
  pin.position = static_cast<std::uint32_t>(packet);
  pin.discontinuityPending = true;
  pin.skipTarget = static_cast<std::uint32_t>(packet + 1);
  // The search for the next sequence header covers the 5000 packets after the new start; a key
  // position left from the opening analysis (or 0 after an earlier seek) would end it at once for
  // any start beyond the file's first 5000 packets.
  pin.keyPosition = static_cast<std::uint32_t>(packet);
}

HRESULT TsSeeking::ChangeStop() {
  {
    std::lock_guard pinLock(m_pin.m_state.pinLock);
    REFERENCE_TIME stop;
    {
      CAutoLock lock(m_pLock);
      stop = m_rtStop;
    }
    TsPinState& pin = m_pin.m_state;
    const REFERENCE_TIME duration = pin.duration;
    pin.stop = stop;
    TsFilterState& filter = m_pin.m_filter.Analysis();
    std::int64_t packet = 0;
    if (!TimeToPacket(stop, duration, filter.reader.CachedSize(), packet)) return S_OK;
    {
      std::lock_guard filterLock(filter.filterLock);
      filter.reader.SetSizeLimit(static_cast<std::uint64_t>(packet) * kPacketSize);
    }
    if (static_cast<std::int64_t>(pin.position) * pin.frameLength < stop) return S_OK;
  }
  m_pin.RestartDelivery();
  return S_OK;
}

HRESULT TsSeeking::ChangeRate() {
  std::lock_guard pinLock(m_pin.m_state.pinLock);
  CAutoLock lock(m_pLock);
  // Slow or reverse play is refused, and a refused rate is not kept: the sample times go on with
  // the rate in force (a rate of 0 would otherwise stretch every time to the limit).
  if (!(m_dRateSeeking >= 1.0)) {
    m_dRateSeeking = m_pin.m_state.rate;
    return E_FAIL;
  }
  m_pin.m_state.rate = m_dRateSeeking;
  return S_OK;
}

// ---- pin ----

TsOutputPin::TsOutputPin(HRESULT* result, TsSourceFilter* filter, bool elementaryVideo)
    : CSourceStream("TS output pin", result, filter, elementaryVideo ? u"Video" : u"TS Out"),
      m_filter(*filter),
      m_elementaryVideo(elementaryVideo),
      m_seeking(*this, filter->GetOwner(), result, &m_seekingLock) {
  m_state.AttachToFilter(filter->Analysis());
  m_seeking.SetDuration(m_state.duration);
}

TsOutputPin::~TsOutputPin() = default;

HRESULT TsOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IMediaSeeking::kIid) return m_seeking.NonDelegatingQueryInterface(riid, ppv);
  return CSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT TsOutputPin::GetMediaType(CMediaType* type) {
  if (!type) return E_POINTER;
  CAutoLock lock(m_pFilter->pStateLock());
  type->InitMediaType();
  type->SetType(&MEDIATYPE_Stream);
  type->SetSubtype(m_elementaryVideo ? &MEDIASUBTYPE_MPEG2_VIDEO : &MEDIASUBTYPE_MPEG2_TRANSPORT);
  type->SetFormatType(&GUID_NULL);
  return S_OK;
}

HRESULT TsOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  CAutoLock lock(m_pFilter->pStateLock());
  request->cBuffers = 2;
  request->cbBuffer = static_cast<LONG>(kPacketSize);
  request->cbAlign = 1;
  request->cbPrefix = 0;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  // Larger buffers are fine: the examiner copies exactly one packet into each sample.
  return actual.cbBuffer >= static_cast<LONG>(kPacketSize) ? S_OK : E_FAIL;
}

HRESULT TsOutputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = CSourceStream::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  return m_filter.SetUpDemultiplexer(receivePin);
}

HRESULT TsOutputPin::BreakConnect() {
  HRESULT hr = CSourceStream::BreakConnect();
  m_filter.ForgetDemultiplexer(SUCCEEDED(hr));
  return hr;
}

HRESULT TsOutputPin::FillBuffer(IMediaSample* sample) {
  MediaSampleAdapter<IMediaSample> adapter(sample);
  // S_OK delivers, S_FALSE ends the stream; a failed read ends it with an error event instead of
  // delivering stale bytes.
  return ExaminePacket(m_filter.Analysis(), m_state, &adapter);
}

HRESULT TsOutputPin::OnThreadDestroy() {
  m_state.ResetPlayback();
  return S_OK;
}

HRESULT TsOutputPin::OnThreadStartPlay() {
  REFERENCE_TIME start, stop;
  double rate;
  {
    std::lock_guard pinLock(m_state.pinLock);
    start = m_state.start;
    stop = m_state.stop;
    rate = m_state.rate;
  }
  return DeliverNewSegment(start, stop, rate);
}

void TsOutputPin::RestartDelivery(const std::function<void()>& whileStopped) {
  if (!ThreadExists()) return;
  DeliverBeginFlush();
  Stop();
  if (whileStopped) whileStopped();
  DeliverEndFlush();
  Run();
}

}  // namespace tsfilter
