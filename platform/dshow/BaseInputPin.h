#pragma once
// CBaseInputPin: an input pin that receives samples (IMemInputPin). Receive checks that
// streaming is allowed (connected, not stopped, not flushing, no earlier run-time error) and
// that a type attached to the sample is acceptable; derived pins process the sample after
// calling it. Offers a CMemAllocator when the output pin has none of its own.
#include <atomic>

#include "platform/dshow/BasePin.h"

class CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR name);
  ~CBaseInputPin() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IMemInputPin
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
  STDMETHODIMP ReceiveCanBlock() override;

  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

  HRESULT BreakConnect() override;
  HRESULT Inactive() override;
  // S_OK when samples may be processed; S_FALSE while flushing; an error otherwise.
  virtual HRESULT CheckStreaming();

  bool IsReadOnly() const { return m_bReadOnly; }
  bool IsFlushing() const { return m_bFlushing; }

 protected:
  IMemAllocator* m_pAllocator = nullptr;  // counted
  bool m_bReadOnly = false;
  std::atomic<bool> m_bFlushing{false};
  std::atomic<bool> m_bRunTimeError{false};
};
