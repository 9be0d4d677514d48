#include "platform/filters/InfTee.h"

#include <string>

#include "platform/com/wstring.h"

InfTeeInputPin::InfTeeInputPin(InfTee* tee, CCritSec* lock, HRESULT* result)
    : CBaseInputPin("Infinite tee input", tee, lock, result, u"Input"), m_tee(tee) {}

HRESULT InfTeeInputPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  return m_tee->OutputsAccept(type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

STDMETHODIMP InfTeeInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return m_tee->DeliverToOutputs(sample);
}

STDMETHODIMP InfTeeInputPin::EndOfStream() {
  return m_tee->DeliverEndOfStream();
}

STDMETHODIMP InfTeeInputPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  return m_tee->DeliverBeginFlush();
}

STDMETHODIMP InfTeeInputPin::EndFlush() {
  m_tee->DeliverEndFlush();
  return CBaseInputPin::EndFlush();
}

STDMETHODIMP InfTeeInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBasePin::NewSegment(start, stop, rate);
  return m_tee->DeliverNewSegment(start, stop, rate);
}

InfTeeOutputPin::InfTeeOutputPin(InfTee* tee, CCritSec* lock, HRESULT* result, LPCWSTR name, CBasePin* input)
    : PassThroughOutputPin("Infinite tee output", tee, lock, result, name, input), m_tee(tee) {}

HRESULT InfTeeOutputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = PassThroughOutputPin::CompleteConnect(receivePin);
  if (SUCCEEDED(hr)) m_tee->EnsureFreeOutput();
  return hr;
}

HRESULT InfTee::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* tee = new InfTee(nullptr);
  tee->NonDelegatingAddRef();
  HRESULT hr = tee->NonDelegatingQueryInterface(riid, ppv);
  tee->NonDelegatingRelease();
  return hr;
}

InfTee::InfTee(IUnknown* outer) : CBaseFilter("Infinite Pin Tee", outer, &m_lock, CLSID_InfTee) {
  HRESULT hr = S_OK;
  m_input = std::make_unique<InfTeeInputPin>(this, &m_lock, &hr);
  m_outputs.push_back(std::make_unique<InfTeeOutputPin>(this, &m_lock, &hr, u"Output1", m_input.get()));
}

InfTee::~InfTee() = default;

int InfTee::GetPinCount() {
  CAutoLock lock(&m_receiveLock);
  return 1 + static_cast<int>(m_outputs.size());
}

CBasePin* InfTee::GetPin(int n) {
  CAutoLock lock(&m_receiveLock);
  if (n == 0) return m_input.get();
  if (n < 0 || n > static_cast<int>(m_outputs.size())) return nullptr;
  return m_outputs[static_cast<std::size_t>(n - 1)].get();
}

void InfTee::EnsureFreeOutput() {
  CAutoLock lock(&m_receiveLock);
  for (const auto& pin : m_outputs) {
    if (!pin->IsConnected()) return;
  }
  const std::string name = "Output" + std::to_string(m_outputs.size() + 1);
  HRESULT hr = S_OK;
  m_outputs.push_back(std::make_unique<InfTeeOutputPin>(this, &m_lock, &hr, Utf8ToUtf16(name).c_str(), m_input.get()));
  IncrementPinVersion();
}

bool InfTee::OutputsAccept(const CMediaType* type) {
  CAutoLock lock(&m_receiveLock);
  for (const auto& pin : m_outputs) {
    IPin* peer = pin->GetConnected();
    if (peer && peer->QueryAccept(type) != S_OK) return false;
  }
  return true;
}

HRESULT InfTee::DeliverToOutputs(IMediaSample* sample) {
  CAutoLock lock(&m_receiveLock);
  // One failing output (a full disk behind one writer) must not starve the others; the first
  // failure is returned so that the source learns of it.
  HRESULT result = S_OK;
  for (const auto& pin : m_outputs) {
    HRESULT hr = pin->PassOn(sample);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

HRESULT InfTee::DeliverEndOfStream() {
  CAutoLock lock(&m_receiveLock);
  for (const auto& pin : m_outputs) {
    if (pin->IsConnected()) pin->DeliverEndOfStream();
  }
  return S_OK;
}

HRESULT InfTee::DeliverBeginFlush() {
  for (std::size_t i = 0;; ++i) {
    InfTeeOutputPin* pin;
    {
      CAutoLock lock(&m_receiveLock);
      if (i >= m_outputs.size()) break;
      pin = m_outputs[i].get();
    }
    // Not under the receive lock: the streaming thread may be blocked inside it until the
    // flush reaches downstream.
    if (pin->IsConnected()) pin->DeliverBeginFlush();
  }
  return S_OK;
}

HRESULT InfTee::DeliverEndFlush() {
  CAutoLock lock(&m_receiveLock);
  for (const auto& pin : m_outputs) {
    if (pin->IsConnected()) pin->DeliverEndFlush();
  }
  return S_OK;
}

HRESULT InfTee::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CAutoLock lock(&m_receiveLock);
  for (const auto& pin : m_outputs) {
    if (pin->IsConnected()) pin->DeliverNewSegment(start, stop, rate);
  }
  return S_OK;
}
