#pragma once
// CBasePin: connection protocol and media type negotiation of a pin. A pin lives as long as its
// filter: its AddRef/Release count on the filter. m_pLock is the filter's state lock.
//
// Connect (on the output side) tries the given type when it is complete, otherwise the
// receiving pin's types and then its own, each through CheckConnect, CheckMediaType,
// SetMediaType, the receiver's ReceiveConnection and CompleteConnect; a failure undoes the
// attempt with BreakConnect. Override points keep their usual names and meanings.
#include <atomic>

#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/MediaType.h"

class CBasePin : public CUnknown, public IPin {
 public:
  CBasePin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR name,
           PIN_DIRECTION direction);
  ~CBasePin() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  ULONG NonDelegatingAddRef() override;
  ULONG NonDelegatingRelease() override;

  // IPin
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override = 0;
  STDMETHODIMP EndFlush() override = 0;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // Override points.
  virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
  virtual HRESULT SetMediaType(const CMediaType* type);
  virtual HRESULT CheckConnect(IPin* pin);
  virtual HRESULT BreakConnect();
  virtual HRESULT CompleteConnect(IPin* receivePin);
  // The n-th preferred type (0-based): S_OK, VFW_S_NO_MORE_ITEMS past the end.
  virtual HRESULT GetMediaType(int position, CMediaType* type);
  virtual LONG GetMediaTypeVersion() { return m_TypeVersion.load(); }
  void IncrementTypeVersion() { ++m_TypeVersion; }
  virtual HRESULT Active() { return S_OK; }
  virtual HRESULT Inactive() { return S_OK; }
  virtual HRESULT Run(REFERENCE_TIME /*start*/) { return S_OK; }

  bool IsConnected() const { return m_Connected != nullptr; }
  IPin* GetConnected() const { return m_Connected; }
  bool IsStopped() const { return m_pFilter->IsStopped(); }
  LPCWSTR Name() const { return m_pName; }
  const CMediaType& CurrentMediaType() const { return m_mt; }
  REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
  REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
  double CurrentRate() const { return m_dRate; }
  CBaseFilter* Filter() const { return m_pFilter; }

 protected:
  HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* type);
  HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types);
  HRESULT AttemptConnection(IPin* receivePin, const CMediaType* type);
  HRESULT DisconnectInternal();

  WCHAR* m_pName = nullptr;
  IPin* m_Connected = nullptr;  // counted reference
  PIN_DIRECTION m_dir;
  CCritSec* m_pLock;
  CBaseFilter* m_pFilter;
  CMediaType m_mt;
  REFERENCE_TIME m_tStart = 0;
  REFERENCE_TIME m_tStop = 0x7FFFFFFFFFFFFFFFll;
  double m_dRate = 1.0;
  bool m_bTryMyTypesFirst = false;
  bool m_bCanReconnectWhenActive = false;
  std::atomic<LONG> m_TypeVersion{1};
};
