#pragma once
// CTransformFilter: a filter with one input and one output pin that turns each input sample
// into one output sample (Transform). The output sample comes from the output pin's allocator
// with the input's times, media times and flags (InitializeOutputSample). Transform returns
// S_OK to deliver, S_FALSE to drop the sample; an error stops the stream and is reported to
// the graph as EC_ERRORABORT with the status.
//
// Locks: m_csFilter guards state and connections, m_csReceive the streaming path (Receive,
// end of stream). Stop takes m_csFilter first, then m_csReceive, after deactivating the input
// pin so that a Receive in progress finishes.
#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/TransformPins.h"

class CTransformFilter : public CBaseFilter {
 public:
  CTransformFilter(const char* name, IUnknown* outer, REFCLSID clsid);
  ~CTransformFilter() override;

  int GetPinCount() override;
  // Makes the two pins on first use ("XForm In", "XForm Out"); override to name them otherwise.
  CBasePin* GetPin(int n) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  // Override points.
  virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
  virtual HRESULT CheckInputType(const CMediaType* type) = 0;
  virtual HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT GetMediaType(int position, CMediaType* type) = 0;
  virtual HRESULT StartStreaming() { return S_OK; }
  virtual HRESULT StopStreaming() { return S_OK; }
  virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type);
  virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin);
  virtual HRESULT BreakConnect(PIN_DIRECTION direction);
  virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin);

  // Streaming, called by the input pin.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

 protected:
  virtual HRESULT InitializeOutputSample(IMediaSample* sample, IMediaSample** outSample);

  bool m_bEOSDelivered = false;
  bool m_bSampleSkipped = false;
  bool m_bQualityChanged = false;
  CCritSec m_csFilter;
  CCritSec m_csReceive;
  CTransformInputPin* m_pInput = nullptr;
  CTransformOutputPin* m_pOutput = nullptr;

  friend class CTransformInputPin;
  friend class CTransformOutputPin;
};
