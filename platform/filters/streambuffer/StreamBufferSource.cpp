#include "platform/filters/streambuffer/StreamBufferSource.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/RefTime.h"
#include "platform/filters/streambuffer/AsfGuids.h"
#include "platform/filters/streambuffer/StreamMediaTypes.h"

namespace {

constexpr std::size_t kBlockBytes = 1 << 20;
constexpr std::uint32_t kProbePackets = 64;
// A seek without an index starts this much before the wanted time, to meet a key frame.
constexpr std::int64_t kSeekLead = 2 * UNITS;

const std::uint8_t* FindSequenceHeader(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i + 4 <= size; ++i) {
    const void* found = std::memchr(data + i + 2, 0x01, size - i - 2);
    if (!found) return nullptr;
    const std::size_t one = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
    i = one - 2;
    if (data[i] == 0 && data[i + 1] == 0 && one + 1 < size && data[one + 1] == 0xB3) return data + i;
  }
  return nullptr;
}

// Hands each payload to the pin of its stream.
class PayloadRouter final : public asf::AsfPayloadSink {
 public:
  PayloadRouter(const std::vector<StreamBufferOutputPin*>& pins, std::int64_t stopTime)
      : m_pins(pins), m_stopTime(stopTime) {}
  HRESULT OnPayload(const asf::AsfPayload& payload) override {
    for (StreamBufferOutputPin* pin : m_pins) {
      if (pin->Stream().number != payload.stream) continue;
      const HRESULT hr = pin->OnPayload(payload, m_stopTime);
      if (hr != S_OK) m_result = FAILED(hr) ? hr : E_ABORT;  // S_FALSE: downstream refuses for now
      return hr == S_OK ? S_OK : E_ABORT;
    }
    return S_OK;
  }
  HRESULT Result() const { return m_result; }

 private:
  const std::vector<StreamBufferOutputPin*>& m_pins;
  std::int64_t m_stopTime;
  HRESULT m_result = S_OK;
};

// The earliest object start time among the played streams in a run of packets.
class TimeProbe final : public asf::AsfPayloadSink {
 public:
  TimeProbe(const std::vector<asf::PlayableStream>& streams, std::uint64_t prerollMs)
      : m_streams(streams), m_prerollMs(prerollMs) {}
  HRESULT OnPayload(const asf::AsfPayload& payload) override {
    if (payload.offset != 0) return S_OK;
    for (const asf::PlayableStream& stream : m_streams) {
      if (stream.number != payload.stream) continue;
      const asf::PayloadTimes times = asf::TimesOf(stream, payload, m_prerollMs);
      if (times.hasStart) {
        const std::int64_t t = times.hasDecode ? std::min(times.start, times.decode) : times.start;
        m_min = std::min(m_min, t);
        m_max = std::max(m_max, times.start);
      }
    }
    return S_OK;
  }
  std::int64_t m_min = INT64_MAX;
  std::int64_t m_max = INT64_MIN;

 private:
  const std::vector<asf::PlayableStream>& m_streams;
  std::uint64_t m_prerollMs;
};

// Finds the first object of one stream, for streams whose codec only the payload tells.
class CodecProbe final : public asf::AsfPayloadSink {
 public:
  explicit CodecProbe(std::uint16_t stream) : m_stream(stream) {}
  HRESULT OnPayload(const asf::AsfPayload& payload) override {
    if (payload.stream != m_stream || payload.offset != 0 || m_codec) return S_OK;
    m_codec = asf::AudioCodecOfPayload(payload.data, payload.size);
    return S_OK;
  }
  std::optional<asf::RecordedCodec> m_codec;

 private:
  std::uint16_t m_stream;
};

}  // namespace

// ---- output pin ----

StreamBufferOutputPin::StreamBufferOutputPin(StreamBufferSource* source, CCritSec* lock, HRESULT* result,
                                             LPCWSTR name, const asf::PlayableStream& stream)
    : CBaseOutputPin("Stream buffer output", source, lock, result, name), m_stream(stream) {
  if (m_stream.IsVideo()) {
    asf::MakeVideoMediaType(m_stream.sequenceHeader, m_stream.width, m_stream.height, &m_type);
    m_deriveTimes = std::none_of(m_stream.extensions.begin(), m_stream.extensions.end(),
                                 [](const asf::AsfPayloadExtensionSystem& s) { return s.id == asf::kTimingExtension; });
  } else {
    asf::MakeAudioMediaType(m_stream.codec, m_stream.subtype, m_stream.waveFormat, &m_type);
  }
}

StreamBufferOutputPin::~StreamBufferOutputPin() { DropSample(); }

HRESULT StreamBufferOutputPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  return *type->Type() == *m_type.Type() && *type->Subtype() == *m_type.Subtype() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT StreamBufferOutputPin::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *type = m_type;
  return S_OK;
}

HRESULT StreamBufferOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  request->cBuffers = std::max(request->cBuffers, kBuffers);
  request->cbBuffer = std::max(request->cbBuffer, kBufferSize);
  if (request->cbAlign < 1) request->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer > 0 && actual.cBuffers > 0 ? S_OK : E_FAIL;
}

void StreamBufferOutputPin::BeginDelivery(bool fromSequenceHeader, std::uint64_t prerollMs) {
  DropSample();
  m_prerollMs = prerollMs;
  m_inObject = false;
  m_waitForSequenceHeader = fromSequenceHeader && m_stream.IsVideo();
  m_discontinuity = true;
  m_ended = false;
  m_delivered = false;
  m_lastTime = INT64_MIN;
  m_pictureTimes.Reset(m_stream.sequenceHeader);
}

void StreamBufferOutputPin::DropSample() {
  if (m_pending) m_pending->Release();
  m_pending = nullptr;
  m_buffer = nullptr;
  m_fill = 0;
}

HRESULT StreamBufferOutputPin::StartSample(const asf::PayloadTimes& times, bool syncPoint) {
  HRESULT hr = GetDeliveryBuffer(&m_pending, nullptr, nullptr, 0);
  if (FAILED(hr)) {
    m_pending = nullptr;
    return hr;
  }
  m_pending->GetPointer(&m_buffer);
  m_fill = 0;
  if (times.hasStart) {
    REFERENCE_TIME start = times.start;
    m_pending->SetTime(&start, nullptr);
    if (times.hasDecode) {
      LONGLONG decode = times.decode;
      m_pending->SetMediaTime(&decode, &decode);
    }
    m_lastTime = times.start;
  }
  m_pending->SetSyncPoint(syncPoint ? TRUE : FALSE);
  m_pending->SetDiscontinuity(m_discontinuity ? TRUE : FALSE);
  m_discontinuity = false;
  return S_OK;
}

HRESULT StreamBufferOutputPin::DeliverPending() {
  if (!m_pending) return S_OK;
  m_pending->SetActualDataLength(m_fill);
  IMediaSample* sample = m_pending;
  m_pending = nullptr;
  m_buffer = nullptr;
  const HRESULT hr = m_fill > 0 ? Deliver(sample) : S_OK;
  sample->Release();
  m_fill = 0;
  m_delivered = true;
  return hr;
}

HRESULT StreamBufferOutputPin::Append(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    if (!m_pending) {
      // The rest of an object too large for one buffer: an untimed continuation.
      HRESULT hr = StartSample(asf::PayloadTimes{}, false);
      if (FAILED(hr)) return hr;
    }
    const std::size_t room = static_cast<std::size_t>(m_pending->GetSize() - m_fill);
    const std::size_t take = std::min(room, size);
    std::memcpy(m_buffer + m_fill, data, take);
    m_fill += static_cast<LONG>(take);
    data += take;
    size -= take;
    if (m_fill == m_pending->GetSize()) {
      HRESULT hr = DeliverPending();
      if (hr != S_OK) return hr;
    }
  }
  return S_OK;
}

HRESULT StreamBufferOutputPin::OnPayload(const asf::AsfPayload& payload, std::int64_t stopTime) {
  if (m_ended) return S_OK;
  const std::uint8_t* data = payload.data;
  std::size_t size = payload.size;
  if (payload.offset != 0) {
    // A continuation of the object being gathered, or the remains of one we do not have.
    if (!m_inObject) return S_OK;
    if (payload.objectNumber != m_objectNumber || payload.offset != m_expected) {
      m_inObject = false;
      m_discontinuity = true;
      return DeliverPending();
    }
  } else {
    HRESULT hr = DeliverPending();
    if (hr != S_OK) return hr;
    m_inObject = false;
    asf::PayloadTimes times = asf::TimesOf(m_stream, payload, m_prerollMs);
    if (m_deriveTimes && times.hasStart) {
      std::int64_t presentation = 0;
      if (m_pictureTimes.PresentationTime(data, size, times.start, &presentation)) {
        times.decode = times.start;
        times.hasDecode = true;
        times.start = presentation;
      }
    }
    if (times.hasStart && (times.hasDecode ? times.decode : times.start) >= stopTime) {
      m_ended = true;
      DeliverEndOfStream();
      return S_OK;
    }
    if (m_waitForSequenceHeader) {
      const std::uint8_t* header = FindSequenceHeader(data, size);
      if (!header) return S_OK;
      size -= static_cast<std::size_t>(header - data);
      data = header;
      m_waitForSequenceHeader = false;
    }
    hr = StartSample(times, m_stream.IsVideo() ? payload.keyFrame : true);
    if (FAILED(hr)) return hr;
    m_inObject = true;
    m_objectNumber = payload.objectNumber;
    m_objectSize = payload.objectSize;
  }
  m_expected = std::uint64_t{payload.offset} + payload.size;
  HRESULT hr = Append(data, size);
  if (hr != S_OK) return hr;
  if (m_expected >= m_objectSize) {
    m_inObject = false;
    return DeliverPending();
  }
  return S_OK;
}

HRESULT StreamBufferOutputPin::EndDelivery(bool endOfStream) {
  const HRESULT hr = DeliverPending();
  m_inObject = false;
  if (endOfStream && !m_ended) {
    m_ended = true;
    DeliverEndOfStream();
  }
  return hr;
}

// ---- worker ----

bool StreamBufferSource::Worker::RequestWaiting() {
  DWORD request = 0;
  while (CheckRequest(&request)) {
    if (request != CMD_RUN && request != CMD_PAUSE) return true;
    Reply(S_OK);  // already delivering
  }
  return false;
}

DWORD StreamBufferSource::Worker::ThreadProc() {
  DWORD command;
  do {
    command = GetRequest();
    if (command != CMD_INIT) Reply(static_cast<DWORD>(E_UNEXPECTED));
  } while (command != CMD_INIT);
  Reply(S_OK);
  do {
    command = GetRequest();
    switch (command) {
      case CMD_RUN:
      case CMD_PAUSE:
        Reply(S_OK);
        m_source->DeliverLoop(*this);
        break;
      case CMD_STOP:
      case CMD_EXIT:
        Reply(S_OK);
        break;
      default:
        Reply(static_cast<DWORD>(E_NOTIMPL));
        break;
    }
  } while (command != CMD_EXIT);
  return 0;
}

// ---- filter ----

HRESULT StreamBufferSource::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* source = new StreamBufferSource(nullptr);
  source->NonDelegatingAddRef();
  HRESULT hr = source->NonDelegatingQueryInterface(riid, ppv);
  source->NonDelegatingRelease();
  return hr;
}

StreamBufferSource::StreamBufferSource(IUnknown* outer)
    : CBaseFilter("Stream buffer source", outer, &m_lock, CLSID_StreamBufferSource) {}

StreamBufferSource::~StreamBufferSource() { Stop(); }

HRESULT StreamBufferSource::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IFileSourceFilter::kIid) return GetInterface(static_cast<IFileSourceFilter*>(this), ppv);
  if (riid == IMediaSeeking::kIid) return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
  if (riid == IAMFilterMiscFlags::kIid) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int StreamBufferSource::GetPinCount() {
  CAutoLock lock(&m_lock);
  return static_cast<int>(m_pins.size());
}

CBasePin* StreamBufferSource::GetPin(int n) {
  CAutoLock lock(&m_lock);
  if (n < 0 || n >= static_cast<int>(m_pins.size())) return nullptr;
  return m_pins[static_cast<std::size_t>(n)].get();
}

std::vector<StreamBufferOutputPin*> StreamBufferSource::ConnectedPins() {
  std::vector<StreamBufferOutputPin*> pins;
  for (const auto& pin : m_pins)
    if (pin->IsConnected()) pins.push_back(pin.get());
  return pins;
}

STDMETHODIMP StreamBufferSource::Load(LPCWSTR fileName, const AM_MEDIA_TYPE* /*type*/) {
  if (!fileName) return E_POINTER;
  CAutoLock lock(&m_lock);
  if (m_file.IsOpen()) return E_UNEXPECTED;  // one file per source
  const HRESULT hr = LoadFile(Utf16ToUtf8(fileName));
  if (FAILED(hr)) {
    m_file.Close();
    m_pins.clear();
    return hr;
  }
  m_fileName = fileName;
  return S_OK;
}

HRESULT StreamBufferSource::LoadFile(const std::string& path) {
  HRESULT hr = m_file.Open(path);
  if (FAILED(hr)) return hr;
  std::vector<asf::PlayableStream> streams;
  hr = asf::FindPlayableStreams(m_file.Header(), &streams);
  if (FAILED(hr)) return hr;
  m_blockPackets = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kBlockBytes / m_file.PacketSize()));
  m_block.reset(new std::uint8_t[std::size_t{m_blockPackets} * m_file.PacketSize()]);

  // Audio that only its payload can name.
  for (auto it = streams.begin(); it != streams.end();) {
    if (!it->codecFromPayload) {
      ++it;
      continue;
    }
    CodecProbe probe(it->number);
    for (std::uint64_t p = 0; p < m_file.PacketCount() && p < 4 * kProbePackets && !probe.m_codec; p += m_blockPackets) {
      std::uint32_t read = 0;
      if (FAILED(m_file.ReadPackets(p, m_blockPackets, m_block.get(), &read)) || read == 0) break;
      for (std::uint32_t i = 0; i < read; ++i)
        asf::ParseAsfPacket(m_block.get() + std::size_t{i} * m_file.PacketSize(), m_file.PacketSize(), probe);
    }
    if (!probe.m_codec) {
      it = streams.erase(it);
      continue;
    }
    it->codec = *probe.m_codec;
    it->subtype = *probe.m_codec == asf::RecordedCodec::Ac3Audio ? MEDIASUBTYPE_DOLBY_AC3 : MEDIASUBTYPE_MPEG1AudioPayload;
    it->waveFormat.clear();
    it->codecFromPayload = false;
    ++it;
  }
  if (streams.empty()) return asf::kNoPlayableStream;

  for (std::size_t i = 0; i < streams.size(); ++i) {
    const std::u16string name = Utf8ToUtf16("DVR Out - " + std::to_string(i + 1));
    HRESULT created = S_OK;
    m_pins.push_back(std::make_unique<StreamBufferOutputPin>(this, &m_lock, &created, name.c_str(), streams[i]));
    if (FAILED(created)) return created;
  }
  IncrementPinVersion();
  MeasureTimes();
  return S_OK;
}

void StreamBufferSource::MeasureTimes() {
  std::vector<asf::PlayableStream> streams;
  for (const auto& pin : m_pins) streams.push_back(pin->Stream());
  const std::uint64_t preroll = m_file.Header().file.prerollMs;
  const std::uint64_t packets = m_file.PacketCount();
  auto probe = [&](std::uint64_t first) {
    TimeProbe times(streams, preroll);
    std::uint32_t read = 0;
    const std::uint32_t count = std::min<std::uint32_t>(kProbePackets, m_blockPackets);
    if (SUCCEEDED(m_file.ReadPackets(first, count, m_block.get(), &read))) {
      for (std::uint32_t i = 0; i < read; ++i)
        asf::ParseAsfPacket(m_block.get() + std::size_t{i} * m_file.PacketSize(), m_file.PacketSize(), times);
    }
    return times;
  };
  const TimeProbe head = probe(0);
  m_firstTime = head.m_min == INT64_MAX ? 0 : head.m_min;
  const asf::AsfFileProperties& file = m_file.Header().file;
  const std::int64_t prerollTime = static_cast<std::int64_t>(std::min<std::uint64_t>(preroll, 1u << 30)) * 10000;
  std::int64_t end = 0;
  if (!file.Broadcast() && file.playDuration > 0 && file.playDuration < static_cast<std::uint64_t>(INT64_MAX)) {
    end = static_cast<std::int64_t>(file.playDuration) - prerollTime;
  } else {
    const std::uint64_t count = std::min<std::uint64_t>(kProbePackets, m_blockPackets);
    const TimeProbe tail = probe(packets > count ? packets - count : 0);
    end = tail.m_max == INT64_MIN ? m_firstTime : tail.m_max;
  }
  std::lock_guard seek(m_seekLock);
  m_duration = std::max<std::int64_t>(0, end - m_firstTime);
  m_start = 0;
  m_stop = m_duration;
  m_startPacket = 0;
  m_stopTime = INT64_MAX;
}

std::int64_t StreamBufferSource::FirstTimeInPacket(std::uint64_t packet, std::vector<std::uint8_t>& buffer) {
  std::vector<asf::PlayableStream> streams;
  for (const auto& pin : m_pins) streams.push_back(pin->Stream());
  TimeProbe times(streams, m_file.Header().file.prerollMs);
  std::uint32_t read = 0;
  if (FAILED(m_file.ReadPackets(packet, 1, buffer.data(), &read)) || read != 1) return INT64_MIN;
  asf::ParseAsfPacket(buffer.data(), buffer.size(), times);
  return times.m_min == INT64_MAX ? INT64_MIN : times.m_min;
}

std::uint64_t StreamBufferSource::PacketForTime(std::int64_t time) {
  if (time <= m_firstTime) return 0;
  if (!m_file.Index().Empty()) return std::min<std::uint64_t>(m_file.Index().PacketFor(static_cast<std::uint64_t>(time)), m_file.PacketCount());
  // Without an index: the last packet whose first time lies a little before the wanted time.
  const std::int64_t wanted = time - kSeekLead;
  std::vector<std::uint8_t> buffer(m_file.PacketSize());
  std::uint64_t low = 0, high = m_file.PacketCount();
  while (high - low > 1) {
    const std::uint64_t middle = low + (high - low) / 2;
    std::uint64_t probe = middle;
    std::int64_t t = INT64_MIN;
    // Packets holding only continuations have no time: look at the next few.
    for (int i = 0; i < 8 && probe < high && t == INT64_MIN; ++i, ++probe) t = FirstTimeInPacket(probe, buffer);
    if (t != INT64_MIN && t <= wanted) low = middle;
    else high = middle;
  }
  return low;
}

STDMETHODIMP StreamBufferSource::GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  CAutoLock lock(&m_lock);
  *fileName = nullptr;
  if (type) *type = AM_MEDIA_TYPE{};
  if (m_fileName.empty()) return E_FAIL;
  *fileName = CoTaskMemDupWide(m_fileName);
  return *fileName ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP StreamBufferSource::Pause() {
  CAutoLock lock(&m_lock);
  const bool starting = IsStopped();
  HRESULT hr = CBaseFilter::Pause();
  if (FAILED(hr) || !starting || ConnectedPins().empty()) return hr;
  if (!m_worker.Create()) return E_FAIL;
  hr = m_worker.Call(Worker::CMD_INIT);
  if (SUCCEEDED(hr)) hr = m_worker.Call(Worker::CMD_PAUSE);
  return hr;
}

STDMETHODIMP StreamBufferSource::Stop() {
  CAutoLock lock(&m_lock);
  // Deactivating the pins decommits their allocators first, which wakes a streaming thread
  // waiting for a buffer; then the thread is asked to stop and end.
  HRESULT hr = CBaseFilter::Stop();
  if (m_worker.ThreadExists()) {
    m_worker.Call(Worker::CMD_STOP);
    m_worker.Call(Worker::CMD_EXIT);
    m_worker.Close();
  }
  return hr;
}

void StreamBufferSource::DeliverLoop(Worker& worker) {
  std::vector<StreamBufferOutputPin*> pins = ConnectedPins();
  std::uint64_t packet;
  {
    std::lock_guard seek(m_seekLock);
    packet = m_startPacket;
  }
  const std::uint64_t preroll = m_file.Header().file.prerollMs;
  for (StreamBufferOutputPin* pin : pins) pin->BeginDelivery(packet > 0, preroll);
  const std::uint32_t packetSize = m_file.PacketSize();
  bool endOfStream = true;
  while (!worker.RequestWaiting()) {
    std::uint32_t read = 0;
    const HRESULT hr = m_file.ReadPackets(packet, m_blockPackets, m_block.get(), &read);
    if (FAILED(hr)) {
      NotifyEvent(EC_ERRORABORT, hr, 0);
      break;
    }
    if (read == 0) break;  // the end of the file
    PayloadRouter router(pins, m_stopTime.load());
    for (std::uint32_t i = 0; i < read && SUCCEEDED(router.Result()); ++i) {
      const HRESULT parsed = asf::ParseAsfPacket(m_block.get() + std::size_t{i} * packetSize, packetSize, router);
      if (parsed == asf::kDamagedPacket) ++m_damagedPackets;
    }
    if (FAILED(router.Result())) {
      // Downstream refused (a flush, a stop, its own failure, which it reports itself).
      endOfStream = false;
      break;
    }
    packet += read;
    if (std::all_of(pins.begin(), pins.end(), [](StreamBufferOutputPin* pin) { return pin->Ended(); })) break;
  }
  if (endOfStream && worker.RequestWaiting()) endOfStream = false;
  for (StreamBufferOutputPin* pin : pins) pin->EndDelivery(endOfStream);
}

// ---- seeking ----

STDMETHODIMP StreamBufferSource::GetCapabilities(DWORD* capabilities) {
  if (!capabilities) return E_POINTER;
  *capabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                  AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
  return S_OK;
}

STDMETHODIMP StreamBufferSource::CheckCapabilities(DWORD* capabilities) {
  if (!capabilities) return E_POINTER;
  DWORD ours = 0;
  GetCapabilities(&ours);
  const DWORD wanted = *capabilities;
  *capabilities &= ours;
  return *capabilities == wanted ? S_OK : (*capabilities ? S_FALSE : E_FAIL);
}

STDMETHODIMP StreamBufferSource::IsFormatSupported(const GUID* format) {
  if (!format) return E_POINTER;
  return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

STDMETHODIMP StreamBufferSource::QueryPreferredFormat(GUID* format) {
  if (!format) return E_POINTER;
  *format = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}

STDMETHODIMP StreamBufferSource::GetTimeFormat(GUID* format) { return QueryPreferredFormat(format); }

STDMETHODIMP StreamBufferSource::IsUsingTimeFormat(const GUID* format) {
  if (!format) return E_POINTER;
  return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

STDMETHODIMP StreamBufferSource::SetTimeFormat(const GUID* format) {
  if (!format) return E_POINTER;
  return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

STDMETHODIMP StreamBufferSource::GetDuration(LONGLONG* duration) {
  if (!duration) return E_POINTER;
  std::lock_guard seek(m_seekLock);
  *duration = m_duration;
  return S_OK;
}

STDMETHODIMP StreamBufferSource::GetStopPosition(LONGLONG* stop) {
  if (!stop) return E_POINTER;
  std::lock_guard seek(m_seekLock);
  *stop = m_stop;
  return S_OK;
}

STDMETHODIMP StreamBufferSource::GetCurrentPosition(LONGLONG* current) {
  if (!current) return E_POINTER;
  std::int64_t last = INT64_MIN;
  {
    CAutoLock lock(&m_lock);
    for (const auto& pin : m_pins) last = std::max(last, pin->LastTime());
  }
  std::lock_guard seek(m_seekLock);
  *current = last == INT64_MIN ? m_start : std::clamp<std::int64_t>(last - m_firstTime, 0, m_duration);
  return S_OK;
}

STDMETHODIMP StreamBufferSource::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                   const GUID* sourceFormat) {
  if (!target) return E_POINTER;
  const bool same = (!targetFormat || *targetFormat == TIME_FORMAT_MEDIA_TIME) &&
                    (!sourceFormat || *sourceFormat == TIME_FORMAT_MEDIA_TIME);
  if (!same) return E_INVALIDARG;
  *target = source;
  return S_OK;
}

STDMETHODIMP StreamBufferSource::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
  const DWORD startHow = currentFlags & AM_SEEKING_PositioningBitsMask;
  const DWORD stopHow = stopFlags & AM_SEEKING_PositioningBitsMask;
  if ((startHow != AM_SEEKING_NoPositioning && !current) || (stopHow != AM_SEEKING_NoPositioning && !stop)) return E_POINTER;
  if (!m_file.IsOpen()) return E_UNEXPECTED;
  bool restart = false;
  {
    std::lock_guard seek(m_seekLock);
    auto resolve = [](DWORD how, LONGLONG value, LONGLONG now) {
      return how == AM_SEEKING_AbsolutePositioning ? value : now + value;  // relative and incremental
    };
    if (startHow != AM_SEEKING_NoPositioning) {
      m_start = std::clamp<std::int64_t>(resolve(startHow, *current, m_start), 0, m_duration);
      restart = true;
    }
    if (stopHow != AM_SEEKING_NoPositioning) {
      m_stop = std::clamp<std::int64_t>(resolve(stopHow, *stop, m_stop), 0, m_duration);
    }
    m_stopTime = m_stop >= m_duration ? INT64_MAX : m_firstTime + m_stop;
  }
  if (restart) {
    const std::int64_t time = m_firstTime + m_start;
    const std::uint64_t packet = PacketForTime(time);
    {
      std::lock_guard seek(m_seekLock);
      m_startPacket = packet;
    }
    Restart();
  }
  if (current && (currentFlags & AM_SEEKING_ReturnTime)) GetCurrentPosition(current);
  if (stop && (stopFlags & AM_SEEKING_ReturnTime)) GetStopPosition(stop);
  return S_OK;
}

void StreamBufferSource::Restart() {
  CAutoLock lock(&m_lock);
  if (IsStopped() || !m_worker.ThreadExists()) return;  // the next run starts at the new place
  std::vector<StreamBufferOutputPin*> pins = ConnectedPins();
  for (StreamBufferOutputPin* pin : pins) pin->DeliverBeginFlush();
  m_worker.Call(Worker::CMD_STOP);
  LONGLONG start = 0, stop = 0;
  GetPositions(&start, &stop);
  for (StreamBufferOutputPin* pin : pins) {
    pin->DeliverEndFlush();
    pin->DeliverNewSegment(start, stop, 1.0);
  }
  m_worker.Call(State() == State_Running ? Worker::CMD_RUN : Worker::CMD_PAUSE);
}

STDMETHODIMP StreamBufferSource::GetPositions(LONGLONG* current, LONGLONG* stop) {
  if (current) GetCurrentPosition(current);
  if (stop) GetStopPosition(stop);
  return S_OK;
}

STDMETHODIMP StreamBufferSource::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
  if (earliest) *earliest = 0;
  if (latest) GetDuration(latest);
  return S_OK;
}

STDMETHODIMP StreamBufferSource::SetRate(double rate) { return rate == 1.0 ? S_OK : E_INVALIDARG; }

STDMETHODIMP StreamBufferSource::GetRate(double* rate) {
  if (!rate) return E_POINTER;
  *rate = 1.0;
  return S_OK;
}

STDMETHODIMP StreamBufferSource::GetPreroll(LONGLONG* preroll) {
  if (!preroll) return E_POINTER;
  *preroll = 0;
  return S_OK;
}
