#include "outside/ac3analyzer/Ac3AnalyzerFilter.h"

#include <cstring>
#include <new>

#include "outside/ac3analyzer/Ac3AnalyzerModule.h"
#include "platform/com/wstring.h"

namespace outside {

Ac3AnalyzerFilter::Ac3AnalyzerFilter() : CTransformFilter(kAc3AnalyzerName, nullptr, CLSID_Ac3FrameAnalyzer) {
  Ac3AnalyzerObjects().Increment();
}

Ac3AnalyzerFilter::~Ac3AnalyzerFilter() { Ac3AnalyzerObjects().Decrement(); }

HRESULT Ac3AnalyzerFilter::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* filter = new (std::nothrow) Ac3AnalyzerFilter();
  if (!filter) return E_OUTOFMEMORY;
  filter->NonDelegatingAddRef();
  const HRESULT hr = filter->NonDelegatingQueryInterface(riid, ppv);
  filter->NonDelegatingRelease();
  return hr;
}

CBasePin* Ac3AnalyzerFilter::GetPin(int n) {
  if (!m_pInput) {
    HRESULT hr = S_OK;
    m_pInput = new (std::nothrow) CTransformInputPin("AC3 analyzer input", this, &hr, u"In");
    m_pOutput = new (std::nothrow) CTransformOutputPin("AC3 analyzer output", this, &hr, u"Out");
    if (!m_pInput || !m_pOutput || FAILED(hr)) {
      delete m_pInput;
      delete m_pOutput;
      m_pInput = nullptr;
      m_pOutput = nullptr;
      return nullptr;
    }
  }
  if (n == 0) return m_pInput;
  if (n == 1) return m_pOutput;
  return nullptr;
}

STDMETHODIMP Ac3AnalyzerFilter::QueryVendorInfo(LPWSTR* vendorInfo) {
  if (!vendorInfo) return E_POINTER;
  *vendorInfo = CoTaskMemDupUtf8("1.0.0.0");
  return *vendorInfo ? S_OK : E_OUTOFMEMORY;
}

HRESULT Ac3AnalyzerFilter::CheckInputType(const CMediaType* type) {
  if (!type) return E_POINTER;
  return *type->Type() == MEDIATYPE_Audio && *type->Subtype() == MEDIASUBTYPE_DOLBY_AC3 ? S_OK
                                                                                        : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Ac3AnalyzerFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (!in || !out) return E_POINTER;
  return *out->Type() == *in->Type() && *out->Subtype() == *in->Subtype() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Ac3AnalyzerFilter::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  if (!m_pInput || !m_pInput->IsConnected()) return VFW_E_NOT_CONNECTED;
  *type = m_pInput->CurrentMediaType();  // frames go out in the type they came in
  return S_OK;
}

HRESULT Ac3AnalyzerFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  request->cBuffers = std::max<LONG>(request->cBuffers, 16);
  request->cbBuffer = std::max<LONG>(request->cbBuffer, static_cast<LONG>(kAc3MaxFrameBytes));
  if (request->cbAlign <= 0) request->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < static_cast<LONG>(kAc3MaxFrameBytes) ? E_FAIL : S_OK;
}

HRESULT Ac3AnalyzerFilter::StartStreaming() {
  m_cutter.Reset();
  return S_OK;
}

HRESULT Ac3AnalyzerFilter::EndFlush() {
  {
    CAutoLock receiveLock(&m_csReceive);
    m_cutter.Reset();
  }
  return CTransformFilter::EndFlush();
}

HRESULT Ac3AnalyzerFilter::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  CAutoLock receiveLock(&m_csReceive);
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const LONG length = sample->GetActualDataLength();
  if (length < 0 || length > sample->GetSize()) return E_INVALIDARG;
  if (sample->IsDiscontinuity() == S_OK) m_cutter.Reset();
  REFERENCE_TIME start = 0, stop = 0;
  const HRESULT timeResult = sample->GetTime(&start, &stop);
  const bool hasTime = timeResult == S_OK || timeResult == VFW_S_NO_STOP_TIME;
  hr = m_cutter.Push(data, static_cast<std::size_t>(length), hasTime, start, *this);
  if (FAILED(hr)) {
    NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
  }
  return hr;
}

HRESULT Ac3AnalyzerFilter::OnFrame(const std::uint8_t* data, std::size_t size, std::int64_t start, std::int64_t stop,
                                   bool discontinuity) {
  IMediaSample* out = nullptr;
  HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE* buffer = nullptr;
  hr = out->GetPointer(&buffer);
  if (SUCCEEDED(hr) && static_cast<std::size_t>(out->GetSize()) < size) hr = E_FAIL;
  if (SUCCEEDED(hr)) {
    std::memcpy(buffer, data, size);
    out->SetActualDataLength(static_cast<LONG>(size));
    REFERENCE_TIME frameStart = start, frameStop = stop;
    out->SetTime(&frameStart, &frameStop);
    out->SetMediaTime(nullptr, nullptr);
    out->SetSyncPoint(TRUE);
    out->SetDiscontinuity(discontinuity ? TRUE : FALSE);
    hr = m_pOutput->Deliver(out);
  }
  out->Release();
  // Downstream saying "no more" (S_FALSE) is not an error; it stops this chunk only.
  return hr == S_FALSE ? S_OK : hr;
}

}  // namespace outside
