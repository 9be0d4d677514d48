#pragma once
// Small filters of the usual shapes for framework tests: a push source of numbered 188-byte
// packets, a sink that records what arrives, and a copying transform.
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/com/wstring.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/SourceStream.h"
#include "platform/dshow/TransformFilter.h"

namespace testfilters {

inline constexpr CLSID CLSID_TestSource = MakeGuid("{11111111-0000-0000-0000-000000000001}");
inline constexpr CLSID CLSID_TestSink = MakeGuid("{11111111-0000-0000-0000-000000000002}");
inline constexpr CLSID CLSID_TestTransform = MakeGuid("{11111111-0000-0000-0000-000000000003}");

// Packet i: 188 bytes, the first four the index (little-endian), the rest i & 0xFF.
inline void FillPacket(BYTE* data, LONG length, uint32_t index) {
  std::memset(data, static_cast<int>(index & 0xFF), static_cast<size_t>(length));
  std::memcpy(data, &index, sizeof(index));
}

class TestSourceStream : public CSourceStream {
 public:
  TestSourceStream(HRESULT* hr, CSource* filter, LPCWSTR name, const GUID& major, const GUID& sub)
      : CSourceStream("test stream", hr, filter, name), m_major(major), m_sub(sub) {}

  HRESULT GetMediaType(CMediaType* type) override {
    type->InitMediaType();
    type->SetType(&m_major);
    type->SetSubtype(&m_sub);
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 2;
    request->cbBuffer = 188;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer >= 188 ? S_OK : E_FAIL;
  }
  HRESULT FillBuffer(IMediaSample* sample) override {
    const uint32_t index = m_next++;
    if (m_limit >= 0 && index >= static_cast<uint32_t>(m_limit)) return S_FALSE;
    if (m_failAt >= 0 && index == static_cast<uint32_t>(m_failAt)) return m_failure;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    FillPacket(data, 188, index);
    sample->SetActualDataLength(188);
    REFERENCE_TIME start = index * 1000, stop = start + 1000;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(index % 10 == 0);
    return S_OK;
  }
  HRESULT OnThreadDestroy() override {
    m_next = 0;  // the next run starts at the first packet again
    return S_OK;
  }

  std::atomic<uint32_t> m_next{0};
  long m_limit = 100;     // packets per run; -1: endless
  long m_failAt = -1;     // index whose FillBuffer fails
  HRESULT m_failure = E_FAIL;
  GUID m_major, m_sub;
};

class TestSource : public CSource {
 public:
  explicit TestSource(const GUID& major = MEDIATYPE_Stream, const GUID& sub = MEDIASUBTYPE_MPEG2_TRANSPORT,
                      LPCWSTR pinName = u"TS Out")
      : CSource("test source", nullptr, CLSID_TestSource) {
    HRESULT hr = S_OK;
    m_stream = new TestSourceStream(&hr, this, pinName, major, sub);
  }
  static TestSource* Make(const GUID& major = MEDIATYPE_Stream, const GUID& sub = MEDIASUBTYPE_MPEG2_TRANSPORT,
                          LPCWSTR pinName = u"TS Out") {
    auto* f = new TestSource(major, sub, pinName);
    f->NonDelegatingAddRef();
    return f;
  }
  IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
  TestSourceStream* m_stream;
};

class TestSink;

class TestSinkPin : public CBaseInputPin {
 public:
  TestSinkPin(TestSink* filter, CCritSec* lock, HRESULT* hr, LPCWSTR name);
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override { return CBaseInputPin::BeginFlush(); }
  STDMETHODIMP EndFlush() override { return CBaseInputPin::EndFlush(); }
  TestSink* m_sink;
};

// Accepts any type whose major type is in m_accepted (all types when empty); records bytes,
// sample count and times; reports EC_COMPLETE at end of stream, as a renderer does.
class TestSink : public CBaseFilter {
 public:
  explicit TestSink(std::vector<GUID> accepted = {}, LPCWSTR pinName = u"Input")
      : CBaseFilter("test sink", nullptr, &m_lock, CLSID_TestSink), m_accepted(std::move(accepted)) {
    HRESULT hr = S_OK;
    m_pin = new TestSinkPin(this, &m_lock, &hr, pinName);
  }
  ~TestSink() override { delete m_pin; }
  static TestSink* Make(std::vector<GUID> accepted = {}, LPCWSTR pinName = u"Input") {
    auto* f = new TestSink(std::move(accepted), pinName);
    f->NonDelegatingAddRef();
    return f;
  }
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? m_pin : nullptr; }
  IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

  std::vector<BYTE> Bytes() {
    std::lock_guard lock(m_dataLock);
    return m_bytes;
  }
  void ClearData() {
    std::lock_guard lock(m_dataLock);
    m_bytes.clear();
    m_samples = 0;
    m_endOfStream = 0;
  }

  CCritSec m_lock;
  TestSinkPin* m_pin;
  std::vector<GUID> m_accepted;
  std::mutex m_dataLock;
  std::vector<BYTE> m_bytes;
  std::atomic<int> m_samples{0};
  std::atomic<int> m_endOfStream{0};
  HRESULT m_receiveResult = S_OK;  // what Receive answers
  CAMEvent m_ended{true};
};

inline TestSinkPin::TestSinkPin(TestSink* filter, CCritSec* lock, HRESULT* hr, LPCWSTR name)
    : CBaseInputPin("test sink pin", filter, lock, hr, name), m_sink(filter) {}

inline HRESULT TestSinkPin::CheckMediaType(const CMediaType* type) {
  if (m_sink->m_accepted.empty()) return S_OK;
  for (const GUID& major : m_sink->m_accepted)
    if (type->majortype == major) return S_OK;
  return S_FALSE;
}

inline HRESULT TestSinkPin::GetMediaType(int, CMediaType*) { return VFW_S_NO_MORE_ITEMS; }

inline HRESULT TestSinkPin::Receive(IMediaSample* sample) {
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  if (FAILED(m_sink->m_receiveResult)) {
    m_sink->NotifyEvent(EC_ERRORABORT, m_sink->m_receiveResult, 0);
    return m_sink->m_receiveResult;
  }
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  std::lock_guard lock(m_sink->m_dataLock);
  m_sink->m_bytes.insert(m_sink->m_bytes.end(), data, data + sample->GetActualDataLength());
  ++m_sink->m_samples;
  return S_OK;
}

inline HRESULT TestSinkPin::EndOfStream() {
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  ++m_sink->m_endOfStream;
  m_sink->m_ended.Set();
  m_sink->NotifyEvent(EC_COMPLETE, S_OK, 0);
  return S_OK;
}

// Copies each sample; the output offers the input's type.
class TestTransform : public CTransformFilter {
 public:
  TestTransform() : CTransformFilter("test transform", nullptr, CLSID_TestTransform) {}
  static TestTransform* Make() {
    auto* f = new TestTransform();
    f->NonDelegatingAddRef();
    return f;
  }
  IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

  HRESULT CheckInputType(const CMediaType* type) override {
    return m_acceptedMajor == GUID_NULL || type->majortype == m_acceptedMajor ? S_OK : S_FALSE;
  }
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override {
    return in->majortype == out->majortype ? S_OK : S_FALSE;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 1;
    request->cbBuffer = 4096;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
  }
  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *type = m_pInput->CurrentMediaType();
    return S_OK;
  }
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override {
    if (m_failAt >= 0 && m_seen++ == m_failAt) return STG_E_MEDIUMFULL;
    BYTE *src = nullptr, *dst = nullptr;
    in->GetPointer(&src);
    out->GetPointer(&dst);
    const LONG length = in->GetActualDataLength();
    if (length > out->GetSize()) return E_FAIL;
    std::memcpy(dst, src, static_cast<size_t>(length));
    return out->SetActualDataLength(length);
  }
  GUID m_acceptedMajor = GUID_NULL;
  long m_failAt = -1;
  long m_seen = 0;
};

// Expected bytes of packets [0, count).
inline std::vector<BYTE> ExpectedPackets(uint32_t count) {
  std::vector<BYTE> bytes(188u * count);
  for (uint32_t i = 0; i < count; ++i) FillPacket(bytes.data() + 188u * i, 188, i);
  return bytes;
}

}  // namespace testfilters
