#pragma once
// An output pin that hands on the samples its filter received, unchanged and without copying
// (the Infinite Pin Tee's outputs, the video analyzer's output). It offers and accepts exactly
// the type of its filter's input pin, so it can only connect once the input is connected.
// The samples it delivers belong to the upstream allocator, so that is the allocator it names to
// the pin downstream (read-only): a filter that sizes its own buffers from its input allocator
// (a transform filter behind the tee) then sees the sizes of the samples it will receive.
#include "platform/dshow/BaseOutputPin.h"

class PassThroughOutputPin : public CBaseOutputPin {
 public:
  PassThroughOutputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR name,
                       CBasePin* input);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // Delivers when connected; S_OK (nothing to do) when not.
  HRESULT PassOn(IMediaSample* sample);

 private:
  CBasePin* m_input;
};
