#include "tests/platform/filters/TsFileSource.h"

#include <chrono>
#include <cstring>

namespace {
constexpr CLSID CLSID_TestTsSource = MakeGuid("{7E0B41D2-55A3-4C1F-9D8E-2F6A1B3C4D5E}");
}

TsFileSourcePin::TsFileSourcePin(HRESULT* result, TsFileSource* filter)
    : CSourceStream("Test TS output", result, filter, u"TS Out") {}

HRESULT TsFileSourcePin::GetMediaType(CMediaType* type) {
  if (!type) return E_POINTER;
  type->InitMediaType();
  type->SetType(&MEDIATYPE_Stream);
  type->SetSubtype(&MEDIASUBTYPE_MPEG2_TRANSPORT);
  return S_OK;
}

HRESULT TsFileSourcePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  request->cBuffers = 2;
  request->cbBuffer = 188;
  request->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= 188 ? S_OK : E_FAIL;
}

void TsFileSourcePin::SetGate(std::size_t packet) {
  std::scoped_lock lock(m_gateLock);
  m_gate = packet;
  m_atGate = false;
}

bool TsFileSourcePin::WaitAtGate() {
  std::unique_lock lock(m_gateLock);
  return m_gateChanged.wait_for(lock, std::chrono::seconds(30), [this] { return m_atGate; });
}

void TsFileSourcePin::ReleaseGate() {
  std::scoped_lock lock(m_gateLock);
  m_gate = SIZE_MAX;
  m_gateChanged.notify_all();
}

HRESULT TsFileSourcePin::FillBuffer(IMediaSample* sample) {
  {
    std::unique_lock lock(m_gateLock);
    if (m_next == m_gate) {
      m_atGate = true;
      m_gateChanged.notify_all();
      // Wait for the gate to open. A run or pause request is answered here (the graph's Run
      // must not wait for the gate); a stop request (the seek's) ends the wait, and the packet
      // then meets a flushing downstream.
      while (m_gate != SIZE_MAX) {
        DWORD request = 0;
        if (CAMThread::CheckRequest(&request)) {
          if (request != CMD_RUN && request != CMD_PAUSE) break;
          Reply(S_OK);
        }
        m_gateChanged.wait_for(lock, std::chrono::milliseconds(1));
      }
    }
  }
  if (m_next >= PacketCount()) return S_FALSE;
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  std::memcpy(buffer, m_data.data() + m_next * 188, 188);
  sample->SetActualDataLength(188);
  ++m_next;
  return S_OK;
}

HRESULT TsFileSourcePin::OnThreadStartPlay() {
  return DeliverNewSegment(0, m_tStop, 1.0);
}

HRESULT TsFileSourcePin::SeekToPacket(std::size_t packet) {
  if (!ThreadExists()) {
    m_next = packet;
    return S_OK;
  }
  DeliverBeginFlush();
  Stop();  // a thread held at the gate sees the request, delivers into the flush and stops
  ReleaseGate();
  m_next = packet;
  DeliverEndFlush();
  return Run();
}

TsFileSource::TsFileSource() : CSource("Test TS source", nullptr, CLSID_TestTsSource) {
  HRESULT hr = S_OK;
  m_pin = new TsFileSourcePin(&hr, this);
}

TsFileSource* TsFileSource::Create(std::vector<unsigned char> data) {
  auto* source = new TsFileSource();
  source->NonDelegatingAddRef();
  source->m_pin->SetData(std::move(data));
  return source;
}

HRESULT TsFileSourcePin::OnThreadDestroy() {
  m_next = 0;
  return S_OK;
}
