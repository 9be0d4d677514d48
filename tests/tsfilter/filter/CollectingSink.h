#pragma once
// A sink for the output pin's samples: keeps every sample's bytes, flags and times, and reports
// the end of the stream. Its allocator may insist on large buffers, as some demultiplexers do.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/dshow/AmEvent.h"
#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/MemAllocator.h"

namespace tsfilter::testing {

struct ReceivedSample {
  std::vector<std::uint8_t> bytes;
  LONG bufferSize = 0;
  bool discontinuity = false;
  bool syncPoint = false;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
};

// Grants at least `minimum` bytes per buffer whatever is asked.
class LargeBufferAllocator final : public CMemAllocator {
 public:
  explicit LargeBufferAllocator(LONG minimum) : CMemAllocator("large buffers", nullptr, nullptr), m_minimum(minimum) {}
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
    if (!request) return E_POINTER;
    ALLOCATOR_PROPERTIES larger = *request;
    larger.cbBuffer = std::max(larger.cbBuffer, m_minimum);
    return CMemAllocator::SetProperties(&larger, actual);
  }

 private:
  LONG m_minimum;
};

class CollectingSink;

class CollectingPin final : public CBaseInputPin {
 public:
  CollectingPin(CollectingSink* sink, CCritSec* lock, HRESULT* hr);
  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  HRESULT GetMediaType(int, CMediaType*) override { return VFW_S_NO_MORE_ITEMS; }
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;

 private:
  CollectingSink& m_sink;
};

class CollectingSink final : public CBaseFilter {
 public:
  // Made with one reference, which the test releases.
  static CollectingSink* Make(LONG minimumBuffer = 0) {
    auto* sink = new CollectingSink(minimumBuffer);
    sink->NonDelegatingAddRef();
    return sink;
  }
  ~CollectingSink() override { delete m_pin; }

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? m_pin : nullptr; }
  IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }
  IPin* Input() { return m_pin; }

  std::vector<ReceivedSample> Samples() {
    std::lock_guard lock(m_dataLock);
    return m_samples;
  }
  std::size_t Count() {
    std::lock_guard lock(m_dataLock);
    return m_samples.size();
  }
  // All bytes received, in order.
  std::vector<std::uint8_t> Bytes() {
    std::lock_guard lock(m_dataLock);
    std::vector<std::uint8_t> all;
    for (const ReceivedSample& s : m_samples) all.insert(all.end(), s.bytes.begin(), s.bytes.end());
    return all;
  }
  void Clear() {
    std::lock_guard lock(m_dataLock);
    m_samples.clear();
    m_ended.Reset();
  }

  LONG m_minimumBuffer;
  CAMEvent m_ended{true};
  std::mutex m_dataLock;
  std::vector<ReceivedSample> m_samples;

 private:
  explicit CollectingSink(LONG minimumBuffer)
      : CBaseFilter("collecting sink", nullptr, &m_lock, GUID_NULL), m_minimumBuffer(minimumBuffer) {
    HRESULT hr = S_OK;
    m_pin = new CollectingPin(this, &m_lock, &hr);
  }
  CCritSec m_lock;
  CollectingPin* m_pin;
};

inline CollectingPin::CollectingPin(CollectingSink* sink, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("collecting pin", sink, lock, hr, u"Input"), m_sink(*sink) {}

inline HRESULT CollectingPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  if (m_sink.m_minimumBuffer <= 0) return CBaseInputPin::GetAllocator(allocator);
  CAutoLock lock(m_pLock);
  if (!m_pAllocator) {
    auto* large = new LargeBufferAllocator(m_sink.m_minimumBuffer);
    large->NonDelegatingAddRef();
    m_pAllocator = large;
  }
  *allocator = m_pAllocator;
  m_pAllocator->AddRef();
  return S_OK;
}

inline HRESULT CollectingPin::Receive(IMediaSample* sample) {
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  ReceivedSample received;
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  received.bytes.assign(data, data + sample->GetActualDataLength());
  received.bufferSize = sample->GetSize();
  received.discontinuity = sample->IsDiscontinuity() == S_OK;
  received.syncPoint = sample->IsSyncPoint() == S_OK;
  sample->GetTime(&received.start, &received.stop);
  std::lock_guard lock(m_sink.m_dataLock);
  m_sink.m_samples.push_back(std::move(received));
  return S_OK;
}

inline HRESULT CollectingPin::EndOfStream() {
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  m_sink.m_ended.Set();
  return S_OK;
}

}  // namespace tsfilter::testing
