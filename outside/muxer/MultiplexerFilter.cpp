#include "outside/muxer/MultiplexerFilter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "outside/muxer/AudioLanguage.h"
#include "outside/muxer/MultiplexerModule.h"
#include "outside/muxer/ProgramStreamWriter.h"
#include "outside/muxer/TransportStreamWriter.h"
#include "platform/com/wstring.h"

namespace outside {
namespace {

constexpr LONG kMaxBitrate = 1000000000;
constexpr LONG kOutputBufferBytes = 256 * 1024;
constexpr LONG kOutputBuffers = 4;

// 100 ns units to 90 kHz ticks, to the nearest tick (times often came from 90 kHz values).
std::int64_t To90k(REFERENCE_TIME t) {
  return t >= 0 ? (t * 9 + 500) / 1000 : -((-t * 9 + 500) / 1000);
}

}  // namespace

bool StreamKindOfMediaType(const AM_MEDIA_TYPE& type, StreamKind& kind) {
  const GUID& major = type.majortype;
  const GUID& sub = type.subtype;
  if (major == MEDIATYPE_Video) {
    if (sub == MEDIASUBTYPE_MPEG2_VIDEO) kind = StreamKind::Mpeg2Video;
    else if (sub == MEDIASUBTYPE_MPEG1Video || sub == MEDIASUBTYPE_MPEG1Payload) kind = StreamKind::Mpeg1Video;
    else if (sub == MEDIASUBTYPE_H264 || sub == MEDIASUBTYPE_AVC1) kind = StreamKind::H264Video;  // Annex B either way
    else return false;
    return true;
  }
  if (major == MEDIATYPE_Audio) {
    if (sub == MEDIASUBTYPE_MPEG2_AUDIO || sub == MEDIASUBTYPE_MPEG1Audio || sub == MEDIASUBTYPE_MPEG1AudioPayload ||
        sub == MEDIASUBTYPE_MPEG1Payload) {
      kind = StreamKind::MpegAudio;
    } else if (sub == MEDIASUBTYPE_DOLBY_AC3) {
      kind = StreamKind::Ac3Audio;
    } else if (sub == MEDIASUBTYPE_AAC_ADTS) {
      kind = StreamKind::AacAudio;
    } else {
      return false;
    }
    return true;
  }
  return false;
}

// ---- input pin ----

MuxInputPin::MuxInputPin(MultiplexerFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR name)
    : CBaseInputPin("Multiplexer input", filter, lock, result, name), m_mux(filter) {}

HRESULT MuxInputPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  StreamKind kind;
  if (!StreamKindOfMediaType(*type, kind) || !m_mux->AcceptsKind(kind)) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT MuxInputPin::CompleteConnect(IPin* receivePin) {
  const HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
  if (SUCCEEDED(hr)) m_mux->OnInputConnected();
  return hr;
}

STDMETHODIMP MuxInputPin::Receive(IMediaSample* sample) {
  const HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return m_mux->ReceiveFrom(this, sample);
}

STDMETHODIMP MuxInputPin::EndOfStream() {
  const HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  return m_mux->EndOfStreamFrom(this);
}

// ---- output pin ----

MuxOutputPin::MuxOutputPin(MultiplexerFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseOutputPin("Multiplexer output", filter, lock, result, u"Output"), m_mux(filter) {}

HRESULT MuxOutputPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  if (*type->Type() != MEDIATYPE_Stream) return VFW_E_TYPE_NOT_ACCEPTED;
  const GUID& sub = *type->Subtype();
  const GUID& ours = m_mux->IsTransportStream() ? MEDIASUBTYPE_MPEG2_TRANSPORT : MEDIASUBTYPE_MPEG2_PROGRAM;
  return sub == ours || sub == GUID_NULL ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT MuxOutputPin::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  type->InitMediaType();
  type->SetType(&MEDIATYPE_Stream);
  type->SetSubtype(m_mux->IsTransportStream() ? &MEDIASUBTYPE_MPEG2_TRANSPORT : &MEDIASUBTYPE_MPEG2_PROGRAM);
  type->SetFormatType(&FORMAT_None);
  type->SetVariableSize();
  return S_OK;
}

HRESULT MuxOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  request->cBuffers = std::max(request->cBuffers, kOutputBuffers);
  request->cbBuffer = std::max(request->cbBuffer, kOutputBufferBytes);
  if (request->cbAlign <= 0) request->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer > 0 && actual.cBuffers > 0 ? S_OK : E_FAIL;
}

// ---- filter ----

MultiplexerFilter::MultiplexerFilter(HRESULT* result)
    : CBaseFilter(kMultiplexerName, nullptr, &m_csFilter, CLSID_PsTsMultiplexer, result) {
  MultiplexerObjects().Increment();
  m_inputs.reserve(kMaxInputs);
  HRESULT hr = S_OK;
  m_inputs.push_back(new (std::nothrow) MuxInputPin(this, &m_csFilter, &hr, u"Input 1"));
  m_output = new (std::nothrow) MuxOutputPin(this, &m_csFilter, &hr);
  if (result && (!m_inputs.back() || !m_output || FAILED(hr))) *result = FAILED(hr) ? hr : E_OUTOFMEMORY;
}

MultiplexerFilter::~MultiplexerFilter() {
  for (MuxInputPin* pin : m_inputs) delete pin;
  delete m_output;
  MultiplexerObjects().Decrement();
}

HRESULT MultiplexerFilter::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  HRESULT hr = S_OK;
  auto* filter = new (std::nothrow) MultiplexerFilter(&hr);
  if (!filter) return E_OUTOFMEMORY;
  filter->NonDelegatingAddRef();
  if (SUCCEEDED(hr)) hr = filter->NonDelegatingQueryInterface(riid, ppv);
  filter->NonDelegatingRelease();
  return hr;
}

HRESULT MultiplexerFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IMultiplexerConfig::kIid) return GetInterface(static_cast<IMultiplexerConfig*>(this), ppv);
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int MultiplexerFilter::GetPinCount() { return static_cast<int>(m_inputs.size()) + 1; }

CBasePin* MultiplexerFilter::GetPin(int n) {
  if (n < 0) return nullptr;
  if (n < static_cast<int>(m_inputs.size())) return m_inputs[static_cast<std::size_t>(n)];
  return n == static_cast<int>(m_inputs.size()) ? m_output : nullptr;
}

void MultiplexerFilter::OnInputConnected() {
  // Runs inside Connect, under the filter lock.
  const bool allConnected =
      std::all_of(m_inputs.begin(), m_inputs.end(), [](const MuxInputPin* p) { return p->IsConnected(); });
  if (!allConnected || m_inputs.size() >= static_cast<std::size_t>(kMaxInputs)) return;
  const std::string name = "Input " + std::to_string(m_inputs.size() + 1);
  const std::u16string wide = Utf8ToUtf16(name);
  HRESULT hr = S_OK;
  auto* pin = new (std::nothrow) MuxInputPin(this, &m_csFilter, &hr, wide.c_str());
  if (!pin || FAILED(hr)) {
    delete pin;
    return;
  }
  m_inputs.push_back(pin);
  IncrementPinVersion();
}

bool MultiplexerFilter::AcceptsKind(StreamKind kind) const {
  if (IsTransportStream()) return true;
  return kind != StreamKind::H264Video && kind != StreamKind::AacAudio;
}

MuxSettings MultiplexerFilter::Settings(int audioStreams) const {
  MuxSettings settings;
  if (m_format == kMuxProgramStreamHd) {
    settings.videoBufferBytes = 1200 * 1024;  // the largest MPEG-2 high-level VBV buffer plus room
    settings.muxRateBits = 40000000;
    settings.videoQueueBytes = 24u << 20;
  } else if (m_format == kMuxTransportStream) {
    settings.muxRateBits = 20000000;
  }
  if (m_videoBitrate > 0) {
    // The peak rates plus 5 % and 10 kbit/s of room for headers.
    const std::int64_t payload = std::int64_t{m_videoBitrate} + std::int64_t{m_audioBitrate} * std::max(audioStreams, 1);
    settings.muxRateBits = payload + payload / 20 + 10000;
  }
  return settings;
}

HRESULT MultiplexerFilter::StartWriter() {
  CAutoLock receiveLock(&m_csReceive);
  m_writer.reset();
  m_finished = false;
  m_outputOffset = 0;
  int audioStreams = 0;
  for (MuxInputPin* pin : m_inputs) {
    StreamKind kind;
    pin->m_stream = -1;
    pin->m_ended = false;
    if (pin->IsConnected() && StreamKindOfMediaType(pin->CurrentMediaType(), kind) && !IsVideo(kind)) ++audioStreams;
  }
  std::unique_ptr<MultiplexWriter> writer;
  if (IsTransportStream()) {
    writer.reset(new (std::nothrow) TransportStreamWriter());
  } else {
    writer.reset(new (std::nothrow) ProgramStreamWriter());
  }
  if (!writer) return E_OUTOFMEMORY;
  HRESULT hr = writer->Open(this, Settings(audioStreams));
  for (MuxInputPin* pin : m_inputs) {
    if (FAILED(hr)) return hr;
    if (!pin->IsConnected()) continue;
    StreamInfo info;
    if (!StreamKindOfMediaType(pin->CurrentMediaType(), info.kind)) return VFW_E_TYPE_NOT_ACCEPTED;
    if (!IsVideo(info.kind)) LanguageOfMediaType(pin->CurrentMediaType(), info.language);
    hr = writer->AddStream(info, &pin->m_stream);
    // The format changed to one that cannot carry this input since it connected.
    if (hr == E_INVALIDARG) hr = VFW_E_TYPE_NOT_ACCEPTED;
  }
  if (FAILED(hr)) return hr;
  if (writer->StreamCount() > 0) m_writer = std::move(writer);
  return S_OK;
}

STDMETHODIMP MultiplexerFilter::Pause() {
  CAutoLock lock(&m_csFilter);
  if (m_State == State_Stopped) {
    const HRESULT hr = StartWriter();
    if (FAILED(hr)) return hr;
  }
  return CBaseFilter::Pause();
}

STDMETHODIMP MultiplexerFilter::Stop() {
  CAutoLock lock(&m_csFilter);
  // The graph stops filters from the sources down, so the output's peer still takes samples here:
  // a stop before end of stream finishes the output first, so the file keeps all that arrived.
  const HRESULT finished = m_State != State_Stopped ? FinishOnStop() : S_OK;
  const HRESULT hr = CBaseFilter::Stop();
  CAutoLock receiveLock(&m_csReceive);
  if (m_writer) m_lastStatistics = m_writer->Statistics();
  m_writer.reset();
  return FAILED(hr) ? hr : finished;
}

HRESULT MultiplexerFilter::FinishOnStop() {
  // Taking the receive lock waits for a Receive still running; any later one finds the writer
  // finished and is ignored.
  CAutoLock receiveLock(&m_csReceive);
  if (!m_writer || m_finished) return S_OK;
  m_finished = true;
  const HRESULT hr = m_writer->Finish();  // queued units, the end code and the rest of the block
  m_lastStatistics = m_writer->Statistics();
  return hr;
}

HRESULT MultiplexerFilter::ReceiveFrom(MuxInputPin* pin, IMediaSample* sample) {
  CAutoLock receiveLock(&m_csReceive);
  if (!m_writer || m_finished || pin->m_stream < 0 || pin->m_ended) return S_OK;
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const LONG length = sample->GetActualDataLength();
  if (length < 0 || length > sample->GetSize()) return E_INVALIDARG;
  REFERENCE_TIME start = 0, stop = 0;
  const HRESULT timeResult = sample->GetTime(&start, &stop);
  std::int64_t pts = kNoTime, dts = kNoTime;
  if (timeResult == S_OK || timeResult == VFW_S_NO_STOP_TIME) {
    pts = To90k(start);
    LONGLONG mediaStart = 0, mediaStop = 0;
    if (sample->GetMediaTime(&mediaStart, &mediaStop) == S_OK) dts = To90k(mediaStart);
  }
  hr = m_writer->Write(pin->m_stream, data, static_cast<std::size_t>(length), pts, dts);
  if (FAILED(hr)) {
    NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
  }
  return S_OK;
}

HRESULT MultiplexerFilter::EndOfStreamFrom(MuxInputPin* pin) {
  CAutoLock receiveLock(&m_csReceive);
  if (!m_writer || m_finished || pin->m_stream < 0 || pin->m_ended) return S_OK;
  pin->m_ended = true;
  HRESULT hr = m_writer->EndStream(pin->m_stream);
  const bool allEnded = std::all_of(m_inputs.begin(), m_inputs.end(), [](const MuxInputPin* p) {
    return p->m_stream < 0 || p->m_ended;
  });
  if (SUCCEEDED(hr) && allEnded) {
    hr = m_writer->Finish();
    m_finished = true;
    m_lastStatistics = m_writer->Statistics();
    if (SUCCEEDED(hr)) return m_output->IsConnected() ? m_output->DeliverEndOfStream() : S_OK;
  }
  if (FAILED(hr)) {
    // The output is incomplete; the graph must not take the end as success.
    m_finished = true;
    NotifyEvent(EC_ERRORABORT, hr, 0);
  }
  return hr;
}

HRESULT MultiplexerFilter::Write(const std::uint8_t* data, std::size_t size) {
  // Under the receive lock, from the writer.
  if (!m_output->IsConnected()) return S_OK;  // nothing downstream: the output is discarded
  while (size > 0) {
    IMediaSample* sample = nullptr;
    HRESULT hr = m_output->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* buffer = nullptr;
    hr = sample->GetPointer(&buffer);
    const auto room = static_cast<std::size_t>(std::max<LONG>(sample->GetSize(), 0));
    if (SUCCEEDED(hr) && room == 0) hr = E_FAIL;
    if (SUCCEEDED(hr)) {
      const std::size_t n = std::min(size, room);
      std::memcpy(buffer, data, n);
      sample->SetActualDataLength(static_cast<LONG>(n));
      REFERENCE_TIME start = m_outputOffset;
      REFERENCE_TIME stop = m_outputOffset + static_cast<LONGLONG>(n);
      sample->SetTime(&start, &stop);
      sample->SetSyncPoint(TRUE);
      hr = m_output->Deliver(sample);
      m_outputOffset += static_cast<LONGLONG>(n);
      data += n;
      size -= n;
    }
    sample->Release();
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

STDMETHODIMP MultiplexerFilter::QueryVendorInfo(LPWSTR* vendorInfo) {
  if (!vendorInfo) return E_POINTER;
  *vendorInfo = CoTaskMemDupUtf8("1.0.0.0");
  return *vendorInfo ? S_OK : E_OUTOFMEMORY;
}

// ---- configuration ----

STDMETHODIMP MultiplexerFilter::GetOutputFormat(LONG* format) {
  if (!format) return E_POINTER;
  CAutoLock lock(&m_csFilter);
  *format = m_format;
  return S_OK;
}

STDMETHODIMP MultiplexerFilter::GetVideoBitrate(LONG* bitsPerSecond) {
  if (!bitsPerSecond) return E_POINTER;
  CAutoLock lock(&m_csFilter);
  *bitsPerSecond = m_videoBitrate;
  return S_OK;
}

STDMETHODIMP MultiplexerFilter::GetAudioBitrate(LONG* bitsPerSecond) {
  if (!bitsPerSecond) return E_POINTER;
  CAutoLock lock(&m_csFilter);
  *bitsPerSecond = m_audioBitrate;
  return S_OK;
}

STDMETHODIMP MultiplexerFilter::GetMuxRate(LONG* bitsPerSecond) {
  if (!bitsPerSecond) return E_POINTER;
  CAutoLock lock(&m_csFilter);
  int audio = 0;
  for (const MuxInputPin* pin : m_inputs) {
    StreamKind kind;
    if (pin->IsConnected() && StreamKindOfMediaType(pin->CurrentMediaType(), kind) && !IsVideo(kind)) ++audio;
  }
  *bitsPerSecond = static_cast<LONG>(std::min<std::int64_t>(Settings(audio).muxRateBits, 0x7FFFFFFF));
  return S_OK;
}

STDMETHODIMP MultiplexerFilter::GetStatistics(LONGLONG* bytesWritten, LONGLONG* lateUnits) {
  if (!bytesWritten || !lateUnits) return E_POINTER;
  CAutoLock receiveLock(&m_csReceive);
  const MuxStatistics stats = m_writer ? m_writer->Statistics() : m_lastStatistics;
  *bytesWritten = static_cast<LONGLONG>(stats.bytesWritten);
  *lateUnits = static_cast<LONGLONG>(stats.lateUnits);
  return S_OK;
}

STDMETHODIMP MultiplexerFilter::SetOutputFormat(LONG format) {
  if (format == 1) format = kMuxProgramStream;
  if (format != kMuxProgramStream && format != kMuxProgramStreamHd && format != kMuxTransportStream) {
    return E_INVALIDARG;
  }
  CAutoLock lock(&m_csFilter);
  m_format = format;
  return S_OK;
}

STDMETHODIMP MultiplexerFilter::SetVideoBitrate(LONG bitsPerSecond) {
  if (bitsPerSecond < 0 || bitsPerSecond > kMaxBitrate) return E_INVALIDARG;
  CAutoLock lock(&m_csFilter);
  m_videoBitrate = bitsPerSecond;
  return S_OK;
}

STDMETHODIMP MultiplexerFilter::SetAudioBitrate(LONG bitsPerSecond) {
  if (bitsPerSecond < 0 || bitsPerSecond > kMaxBitrate) return E_INVALIDARG;
  CAutoLock lock(&m_csFilter);
  m_audioBitrate = bitsPerSecond;
  return S_OK;
}

}  // namespace outside
