#pragma once
// A renderer for source tests: one input pin that takes any type, keeps every sample's bytes,
// times and flags, and counts ends of stream (reported to the graph as EC_COMPLETE).
#include <mutex>
#include <vector>

#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/BaseInputPin.h"

namespace dvrtest {

struct CollectedSample {
  std::vector<std::uint8_t> bytes;
  bool hasStart = false;
  REFERENCE_TIME start = 0;
  bool hasMediaTime = false;
  LONGLONG mediaTime = 0;
  bool syncPoint = false;
  bool discontinuity = false;
};

class CollectingRenderer final : public CBaseFilter {
 public:
  static CollectingRenderer* Make() {
    auto* renderer = new CollectingRenderer();
    renderer->NonDelegatingAddRef();
    return renderer;
  }
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
  IPin* Input() { return &m_pin; }

  std::vector<CollectedSample> Samples() {
    std::lock_guard lock(m_data);
    return m_samples;
  }
  std::vector<std::uint8_t> Bytes() {
    std::lock_guard lock(m_data);
    std::vector<std::uint8_t> all;
    for (const CollectedSample& s : m_samples) all.insert(all.end(), s.bytes.begin(), s.bytes.end());
    return all;
  }
  int EndsOfStream() {
    std::lock_guard lock(m_data);
    return m_ends;
  }
  void Clear() {
    std::lock_guard lock(m_data);
    m_samples.clear();
    m_ends = 0;
  }

 private:
  class Pin final : public CBaseInputPin {
   public:
    explicit Pin(CollectingRenderer* owner) : CBaseInputPin("collecting input", owner, &owner->m_lock, nullptr, u"In"), m_owner(owner) {}
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT GetMediaType(int, CMediaType*) override { return VFW_S_NO_MORE_ITEMS; }
    STDMETHODIMP Receive(IMediaSample* sample) override {
      HRESULT hr = CBaseInputPin::Receive(sample);
      if (hr != S_OK) return hr;
      CollectedSample s;
      BYTE* data = nullptr;
      sample->GetPointer(&data);
      s.bytes.assign(data, data + sample->GetActualDataLength());
      REFERENCE_TIME stop = 0;
      const HRESULT timed = sample->GetTime(&s.start, &stop);
      s.hasStart = timed == S_OK || timed == VFW_S_NO_STOP_TIME;
      LONGLONG mediaStop = 0;
      s.hasMediaTime = sample->GetMediaTime(&s.mediaTime, &mediaStop) == S_OK;
      s.syncPoint = sample->IsSyncPoint() == S_OK;
      s.discontinuity = sample->IsDiscontinuity() == S_OK;
      std::lock_guard lock(m_owner->m_data);
      m_owner->m_samples.push_back(std::move(s));
      return S_OK;
    }
    STDMETHODIMP EndOfStream() override {
      {
        std::lock_guard lock(m_owner->m_data);
        ++m_owner->m_ends;
      }
      m_owner->NotifyEvent(EC_COMPLETE, S_OK, 0);
      return S_OK;
    }

   private:
    CollectingRenderer* m_owner;
  };

  CollectingRenderer() : CBaseFilter("collecting renderer", nullptr, &m_lock, GUID_NULL), m_pin(this) {}

  CCritSec m_lock;
  std::mutex m_data;
  Pin m_pin;
  std::vector<CollectedSample> m_samples;
  int m_ends = 0;
};

}  // namespace dvrtest
