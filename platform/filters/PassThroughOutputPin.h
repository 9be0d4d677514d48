#pragma once
// An output pin that hands on the samples its filter received, unchanged and without copying
// (the Infinite Pin Tee's outputs, the video analyzer's output). It offers and accepts exactly
// the type of its filter's input pin, so it can only connect once the input is connected.
// Its own allocator is a token one: the samples it delivers belong to the upstream allocator.
#include "platform/dshow/BaseOutputPin.h"

class PassThroughOutputPin : public CBaseOutputPin {
 public:
  PassThroughOutputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR name,
                       CBasePin* input);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // Delivers when connected; S_OK (nothing to do) when not.
  HRESULT PassOn(IMediaSample* sample);

 private:
  CBasePin* m_input;
};
