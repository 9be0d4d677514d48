#pragma once
// Test helpers: a push source with one output pin per media type, and a sink that keeps every
// sample it receives. Tests drive states and samples by hand, without a graph.
#include <cstring>
#include <memory>
#include <vector>

#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/BaseOutputPin.h"

namespace outsidetest {

inline constexpr CLSID CLSID_TestPushSource = MakeGuid("{6E0C1D52-2F7B-4C55-9E61-7B0D5A3F1E01}");
inline constexpr CLSID CLSID_TestSampleSink = MakeGuid("{6E0C1D52-2F7B-4C55-9E61-7B0D5A3F1E02}");

class TestPushSource;

class TestSourcePin final : public CBaseOutputPin {
 public:
  TestSourcePin(CBaseFilter* filter, CCritSec* lock, HRESULT* hr, LPCWSTR name, const CMediaType& type)
      : CBaseOutputPin("test source pin", filter, lock, hr, name), m_type(type) {}
  HRESULT CheckMediaType(const CMediaType* type) override {
    return type && *type->Type() == *m_type.Type() && *type->Subtype() == *m_type.Subtype() ? S_OK
                                                                                             : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *type = m_type;
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 4;
    request->cbBuffer = 1 << 20;
    request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
  }
  // One sample; start (100 ns) and media start (decode time) when not negative.
  HRESULT Push(const std::uint8_t* data, std::size_t size, REFERENCE_TIME start, LONGLONG mediaStart) {
    IMediaSample* sample = nullptr;
    HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    std::memcpy(buffer, data, size);
    sample->SetActualDataLength(static_cast<LONG>(size));
    if (start >= 0) {
      REFERENCE_TIME stop = start + 1;
      sample->SetTime(&start, &stop);
    }
    if (mediaStart >= 0) {
      LONGLONG mediaStop = mediaStart + 1;
      sample->SetMediaTime(&mediaStart, &mediaStop);
    }
    hr = Deliver(sample);
    sample->Release();
    return hr;
  }

 private:
  CMediaType m_type;
};

class TestPushSource final : public CBaseFilter {
 public:
  explicit TestPushSource(const std::vector<CMediaType>& types)
      : CBaseFilter("test push source", nullptr, &m_lock, CLSID_TestPushSource) {
    for (std::size_t i = 0; i < types.size(); ++i) {
      HRESULT hr = S_OK;
      const char16_t name[] = {u'O', u'u', u't', static_cast<char16_t>(u'0' + i), 0};
      m_pins.emplace_back(new TestSourcePin(this, &m_lock, &hr, name, types[i]));
    }
    NonDelegatingAddRef();
  }
  int GetPinCount() override { return static_cast<int>(m_pins.size()); }
  CBasePin* GetPin(int n) override { return n >= 0 && n < GetPinCount() ? m_pins[n].get() : nullptr; }
  TestSourcePin* Pin(int n) { return m_pins[static_cast<std::size_t>(n)].get(); }

 private:
  CCritSec m_lock;
  std::vector<std::unique_ptr<TestSourcePin>> m_pins;
};

struct ReceivedSample {
  std::vector<std::uint8_t> bytes;
  REFERENCE_TIME start = -1, stop = -1;
  bool syncPoint = false, discontinuity = false;
};

class TestSinkPin final : public CBaseInputPin {
 public:
  TestSinkPin(CBaseFilter* filter, CCritSec* lock, HRESULT* hr) : CBaseInputPin("test sink pin", filter, lock, hr, u"In") {}
  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  STDMETHODIMP Receive(IMediaSample* sample) override {
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    ReceivedSample r;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    r.bytes.assign(data, data + sample->GetActualDataLength());
    sample->GetTime(&r.start, &r.stop);
    r.syncPoint = sample->IsSyncPoint() == S_OK;
    r.discontinuity = sample->IsDiscontinuity() == S_OK;
    samples.push_back(std::move(r));
    return S_OK;
  }
  STDMETHODIMP EndOfStream() override {
    ++endOfStreams;
    return S_OK;
  }
  std::vector<std::uint8_t> AllBytes() const {
    std::vector<std::uint8_t> all;
    for (const auto& s : samples) all.insert(all.end(), s.bytes.begin(), s.bytes.end());
    return all;
  }
  std::vector<ReceivedSample> samples;
  int endOfStreams = 0;
};

class TestSampleSink final : public CBaseFilter {
 public:
  TestSampleSink() : CBaseFilter("test sink", nullptr, &m_lock, CLSID_TestSampleSink) {
    HRESULT hr = S_OK;
    m_pin = std::make_unique<TestSinkPin>(this, &m_lock, &hr);
    NonDelegatingAddRef();
  }
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? m_pin.get() : nullptr; }
  TestSinkPin* Pin() { return m_pin.get(); }

 private:
  CCritSec m_lock;
  std::unique_ptr<TestSinkPin> m_pin;
};

inline CMediaType MakeType(const GUID& major, const GUID& sub) {
  CMediaType type;
  type.InitMediaType();
  type.SetType(&major);
  type.SetSubtype(&sub);
  type.SetFormatType(&FORMAT_None);
  return type;
}

// Finds a pin of a filter by its name.
inline IPin* FindPinByName(IBaseFilter* filter, const char16_t* name) {
  IPin* pin = nullptr;
  filter->FindPin(name, &pin);
  return pin;  // counted reference; the caller releases it
}

// Breaks a connection from both ends (connected pins hold references on each other's filters).
inline void DisconnectBoth(IPin* pin) {
  IPin* peer = nullptr;
  if (pin && pin->ConnectedTo(&peer) == S_OK && peer) {
    peer->Disconnect();
    pin->Disconnect();
    peer->Release();
  }
}

}  // namespace outsidetest
