// Per-sample cost of the push path: GetDeliveryBuffer, Deliver (the input pin's Receive with its
// streaming checks) and Release back to the pool, as a source delivering one 188-byte packet
// per sample pays it.
#include <benchmark/benchmark.h>

#include <cstring>

#include "platform/com/comptr.h"
#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/BaseOutputPin.h"
#include "platform/dshow/dshow.h"

namespace {

class NullFilter;

class CountingInputPin : public CBaseInputPin {
 public:
  CountingInputPin(CBaseFilter* filter, CCritSec* lock)
      : CBaseInputPin("bench in", filter, lock, nullptr, u"Input") {}
  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  STDMETHODIMP Receive(IMediaSample* sample) override {
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    m_sum += data[0];
    return S_OK;
  }
  unsigned m_sum = 0;
};

class PacketOutputPin : public CBaseOutputPin {
 public:
  PacketOutputPin(CBaseFilter* filter, CCritSec* lock)
      : CBaseOutputPin("bench out", filter, lock, nullptr, u"Output") {}
  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    type->InitMediaType();
    type->SetType(&MEDIATYPE_Stream);
    type->SetSubtype(&MEDIASUBTYPE_MPEG2_TRANSPORT);
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 2;
    request->cbBuffer = 188;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
  }
};

class TwoPinFilter : public CBaseFilter {
 public:
  explicit TwoPinFilter(bool output) : CBaseFilter("bench", nullptr, &m_lock, GUID_NULL) {
    if (output) m_pin = new PacketOutputPin(this, &m_lock);
    else m_pin = new CountingInputPin(this, &m_lock);
  }
  ~TwoPinFilter() override { delete m_pin; }
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? m_pin : nullptr; }
  CCritSec m_lock;
  CBasePin* m_pin;
};

void BM_DeliverOnePacketPerSample(benchmark::State& state) {
  auto* source = new TwoPinFilter(true);
  auto* sink = new TwoPinFilter(false);
  source->NonDelegatingAddRef();
  sink->NonDelegatingAddRef();
  auto* out = static_cast<PacketOutputPin*>(source->m_pin);
  if (FAILED(out->Connect(sink->m_pin, nullptr)) || FAILED(sink->Pause()) || FAILED(source->Pause())) {
    state.SkipWithError("could not connect");
    return;
  }
  unsigned char packet[188] = {0x47};
  for (auto _ : state) {
    IMediaSample* sample = nullptr;
    out->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, packet, sizeof(packet));
    sample->SetActualDataLength(188);
    out->Deliver(sample);
    sample->Release();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 188);
  source->Stop();
  sink->Stop();
  source->NonDelegatingRelease();
  sink->NonDelegatingRelease();
}
BENCHMARK(BM_DeliverOnePacketPerSample);

void BM_ReentrantLock(benchmark::State& state) {
  CCritSec lock;
  CAutoLock outer(&lock);
  for (auto _ : state) {
    CAutoLock inner(&lock);
    benchmark::DoNotOptimize(&lock);
  }
}
BENCHMARK(BM_ReentrantLock);

}  // namespace
