#include "platform/dshow/TransformFilter.h"

#include <new>
#include <string>

CTransformFilter::CTransformFilter(const char* name, IUnknown* outer, REFCLSID clsid)
    : CBaseFilter(name, outer, &m_csFilter, clsid) {}

CTransformFilter::~CTransformFilter() {
  delete m_pInput;
  delete m_pOutput;
}

int CTransformFilter::GetPinCount() { return 2; }

CBasePin* CTransformFilter::GetPin(int n) {
  if (!m_pInput) {
    HRESULT hr = S_OK;
    m_pInput = new (std::nothrow) CTransformInputPin("Transform input pin", this, &hr, u"XForm In");
    if (!m_pInput) return nullptr;
    m_pOutput = new (std::nothrow) CTransformOutputPin("Transform output pin", this, &hr, u"XForm Out");
    if (!m_pOutput) {
      delete m_pInput;
      m_pInput = nullptr;
      return nullptr;
    }
  }
  if (n == 0) return m_pInput;
  if (n == 1) return m_pOutput;
  return nullptr;
}

HRESULT CTransformFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  for (int i = 0; i < 2; ++i) {
    CBasePin* candidate = GetPin(i);
    if (candidate && candidate->Name() && std::u16string_view(id) == std::u16string_view(candidate->Name())) {
      *pin = candidate;
      candidate->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT CTransformFilter::Stop() {
  CAutoLock filterLock(&m_csFilter);
  if (m_State == State_Stopped) return S_OK;
  if (!m_pInput || !m_pInput->IsConnected() || !m_pOutput->IsConnected()) {
    m_State = State_Stopped;
    m_bEOSDelivered = false;
    return S_OK;
  }
  // Deactivate the input first so a Receive in progress ends before the streaming lock is taken.
  m_pInput->Inactive();
  CAutoLock receiveLock(&m_csReceive);
  m_pOutput->Inactive();
  HRESULT hr = StopStreaming();
  if (SUCCEEDED(hr)) {
    m_State = State_Stopped;
    m_bEOSDelivered = false;
  }
  return hr;
}

HRESULT CTransformFilter::Pause() {
  CAutoLock filterLock(&m_csFilter);
  HRESULT hr = S_OK;
  if (m_State == State_Paused) {
    // nothing to do
  } else if (!m_pInput || !m_pInput->IsConnected()) {
    // Without input nothing will come: end of stream goes straight on.
    if (m_pOutput && !m_bEOSDelivered) {
      m_pOutput->DeliverEndOfStream();
      m_bEOSDelivered = true;
    }
    m_State = State_Paused;
  } else if (!m_pOutput->IsConnected()) {
    m_State = State_Paused;
  } else {
    if (m_State == State_Stopped) {
      CAutoLock receiveLock(&m_csReceive);
      hr = StartStreaming();
    }
    if (SUCCEEDED(hr)) hr = CBaseFilter::Pause();
  }
  m_bSampleSkipped = false;
  m_bQualityChanged = false;
  return hr;
}

HRESULT CTransformFilter::Transform(IMediaSample* /*in*/, IMediaSample* /*out*/) { return E_UNEXPECTED; }

HRESULT CTransformFilter::SetMediaType(PIN_DIRECTION /*direction*/, const CMediaType* /*type*/) { return S_OK; }
HRESULT CTransformFilter::CheckConnect(PIN_DIRECTION /*direction*/, IPin* /*pin*/) { return S_OK; }
HRESULT CTransformFilter::BreakConnect(PIN_DIRECTION /*direction*/) { return S_OK; }
HRESULT CTransformFilter::CompleteConnect(PIN_DIRECTION /*direction*/, IPin* /*receivePin*/) { return S_OK; }

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* sample, IMediaSample** outSample) {
  *outSample = nullptr;
  IMediaSample* out = nullptr;
  HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, nullptr, nullptr, m_bSampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0);
  if (FAILED(hr)) return hr;
  REFERENCE_TIME start = 0, stop = 0;
  hr = sample->GetTime(&start, &stop);
  if (hr == S_OK) out->SetTime(&start, &stop);
  else if (hr == VFW_S_NO_STOP_TIME) out->SetTime(&start, nullptr);
  LONGLONG mediaStart = 0, mediaStop = 0;
  if (sample->GetMediaTime(&mediaStart, &mediaStop) == S_OK) out->SetMediaTime(&mediaStart, &mediaStop);
  out->SetSyncPoint(sample->IsSyncPoint() == S_OK);
  out->SetDiscontinuity(m_bSampleSkipped || sample->IsDiscontinuity() == S_OK);
  out->SetPreroll(sample->IsPreroll() == S_OK);
  *outSample = out;
  return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample) {
  CAutoLock receiveLock(&m_csReceive);
  IMediaSample* out = nullptr;
  HRESULT hr = InitializeOutputSample(sample, &out);
  if (FAILED(hr)) return hr;
  hr = Transform(sample, out);
  if (hr == S_OK) {
    hr = m_pOutput->Deliver(out);
    m_bSampleSkipped = false;
  } else if (hr == S_FALSE) {
    m_bSampleSkipped = true;
    hr = S_OK;
  } else {
    // The stream stops here; the graph must hear why, or it would wait for an end that never comes.
    out->Release();
    NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
  }
  out->Release();
  return hr;
}

HRESULT CTransformFilter::EndOfStream() {
  if (!m_pOutput) return S_OK;
  return m_pOutput->DeliverEndOfStream();
}

HRESULT CTransformFilter::BeginFlush() {
  if (!m_pOutput) return S_OK;
  return m_pOutput->DeliverBeginFlush();
}

HRESULT CTransformFilter::EndFlush() {
  if (!m_pOutput) return S_OK;
  return m_pOutput->DeliverEndFlush();
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (!m_pOutput || !m_pOutput->IsConnected()) return S_OK;
  return m_pOutput->DeliverNewSegment(start, stop, rate);
}
