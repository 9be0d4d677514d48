#pragma once
// CBaseOutputPin: an output pin that delivers samples from the allocator agreed with the
// downstream input pin. Deliver is a direct call of the input pin's Receive on the calling
// (streaming) thread. The allocator is committed when the pin becomes active and decommitted
// when it becomes inactive, which also releases a thread waiting in GetDeliveryBuffer.
#include "platform/dshow/BasePin.h"

class CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR name);
  ~CBaseOutputPin() override;

  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  // Asks the input pin for its allocator (or makes one), sizes it with DecideBufferSize and
  // tells the input pin which allocator it got.
  virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT InitAllocator(IMemAllocator** allocator);

  virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
  // The input pin's Receive: S_OK to go on, S_FALSE when downstream wants no more, or an error.
  virtual HRESULT Deliver(IMediaSample* sample);
  virtual HRESULT DeliverEndOfStream();
  virtual HRESULT DeliverBeginFlush();
  virtual HRESULT DeliverEndFlush();
  virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  // An output pin receives no stream control calls.
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
  STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
  STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }

  IMemAllocator* Allocator() const { return m_pAllocator; }

 protected:
  IMemAllocator* m_pAllocator = nullptr;  // counted
  IMemInputPin* m_pInputPin = nullptr;    // counted; the connected pin's IMemInputPin
};
