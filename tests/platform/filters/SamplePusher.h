#pragma once
// A test filter with one output pin "Out" of a given type and no thread: the test pushes
// samples (with or without start times) and the end of stream itself, on its own thread.
#include <vector>

#include "platform/dshow/BaseOutputPin.h"

class SamplePusher;

class SamplePusherPin : public CBaseOutputPin {
 public:
  SamplePusherPin(SamplePusher* filter, CCritSec* lock, HRESULT* result, const CMediaType& type);
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  CMediaType m_type;
};

class SamplePusher : public CBaseFilter {
 public:
  // A new filter holding one reference.
  static SamplePusher* Create(const CMediaType& type);
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

  // Delivers one sample; start < 0 leaves the sample without times.
  HRESULT Push(const std::vector<unsigned char>& data, REFERENCE_TIME start = -1);
  // Delivers one sample as a demultiplexer does: the presentation time as start time (no stop
  // time), the decode time as media time (each left out when negative), and the sync point flag.
  HRESULT PushTimed(const std::vector<unsigned char>& data, REFERENCE_TIME start, REFERENCE_TIME decode, bool syncPoint);
  HRESULT EndOfStream() { return m_pin.DeliverEndOfStream(); }
  SamplePusherPin& Pin() { return m_pin; }

 private:
  explicit SamplePusher(const CMediaType& type);
  CCritSec m_lock;
  HRESULT m_created = S_OK;
  SamplePusherPin m_pin;
};
