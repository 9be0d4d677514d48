#include "wavwriter/AmbrelFilter.h"

#include <cstring>
#include <limits>
#include <new>

#include "platform/com/comptr.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "wavwriter/AmbrelGuids.h"

namespace {
constexpr char16_t kVendorInfo[] = u"1.2.0.0";
}  // namespace

CUnknown* AmbrelFilter::CreateInstance(IUnknown* outer, HRESULT* result) {
  HRESULT hr = S_OK;
  auto* filter = new (std::nothrow) AmbrelFilter(outer, &hr);
  if (filter && FAILED(hr)) {
    delete filter;
    filter = nullptr;
  } else if (!filter) {
    hr = E_OUTOFMEMORY;
  }
  if (result) *result = hr;
  return filter;
}

ModuleObjectCount& AmbrelObjectCount() {
  static ModuleObjectCount count;
  return count;
}

AmbrelFilter::AmbrelFilter(IUnknown* outer, HRESULT* result) : CTransformFilter("Ambrel", outer, CLSID_Ambrel) {
  AmbrelObjectCount().Increment();
  // The pins are made here, under their own names, rather than on first use by the base class.
  HRESULT hr = S_OK;
  m_pInput = new (std::nothrow) CTransformInputPin("Ambrel input pin", this, &hr, u"In");
  m_pOutput = new (std::nothrow) CTransformOutputPin("Ambrel output pin", this, &hr, u"Out");
  if ((!m_pInput || !m_pOutput) && SUCCEEDED(hr)) hr = E_OUTOFMEMORY;
  if (result && FAILED(hr)) *result = hr;
}

AmbrelFilter::~AmbrelFilter() { AmbrelObjectCount().Decrement(); }

STDMETHODIMP AmbrelFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == ISpecifyPropertyPages::kIid) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
  return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT AmbrelFilter::CheckInputType(const CMediaType* in) {
  if (!in) return E_POINTER;
  if (*in->FormatType() != FORMAT_WaveFormatEx) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT AmbrelFilter::CheckOutputType(const CMediaType* out) {
  if (!out) return E_POINTER;
  if (*out->Type() == MEDIATYPE_Stream && *out->Subtype() == MEDIASUBTYPE_WAVE) return S_OK;
  return S_FALSE;
}

HRESULT AmbrelFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  // Any input the input check does not reject with an error goes with our one output type.
  const HRESULT inputResult = CheckInputType(in);
  if (FAILED(inputResult)) return inputResult;
  return CheckOutputType(out);
}

HRESULT AmbrelFilter::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  type->InitMediaType();
  type->SetType(&MEDIATYPE_Stream);
  type->SetSubtype(&MEDIASUBTYPE_WAVE);
  return S_OK;
}

HRESULT AmbrelFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  if (!m_pInput || !m_pInput->IsConnected()) return E_UNEXPECTED;

  ComPtr<IMemAllocator> inputAllocator;
  HRESULT hr = m_pInput->GetAllocator(inputAllocator.GetAddressOf());
  if (FAILED(hr)) return hr;
  ALLOCATOR_PROPERTIES input{};
  hr = inputAllocator->GetProperties(&input);
  if (FAILED(hr)) return hr;

  // One buffer that holds everything the input can have outstanding.
  const long long bufferBytes = static_cast<long long>(input.cBuffers) * input.cbBuffer;
  if (input.cBuffers <= 0 || input.cbBuffer <= 0 || bufferBytes > std::numeric_limits<LONG>::max()) return E_FAIL;
  request->cBuffers = 1;
  request->cbBuffer = static_cast<LONG>(bufferBytes);
  request->cbAlign = input.cbAlign > 0 ? input.cbAlign : 1;

  ALLOCATOR_PROPERTIES actual{};
  hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer) return E_FAIL;
  return S_OK;
}

HRESULT AmbrelFilter::StartStreaming() {
  const CMediaType& type = m_pInput->CurrentMediaType();
  const std::uint32_t formatBytes = type.FormatLength();
  HRESULT hr = m_stream.Start(formatBytes);
  if (FAILED(hr)) return hr;
  try {
    m_format.assign(type.Format(), type.Format() + (type.Format() ? formatBytes : 0));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (m_format.size() != formatBytes) return E_UNEXPECTED;  // a length without a block
  return S_OK;
}

HRESULT AmbrelFilter::Transform(IMediaSample* in, IMediaSample* out) {
  BYTE* source = nullptr;
  BYTE* target = nullptr;
  HRESULT hr = in->GetPointer(&source);
  if (FAILED(hr)) return hr;
  hr = out->GetPointer(&target);
  if (FAILED(hr)) return hr;
  const LONG inLength = in->GetActualDataLength();
  if (inLength < 0) return E_UNEXPECTED;

  const auto audio = m_stream.SelectAudio({source, static_cast<std::size_t>(inLength)});
  if (audio.size() > static_cast<std::size_t>(out->GetSize())) return E_FAIL;
  if (!audio.empty()) std::memcpy(target, audio.data(), audio.size());
  hr = out->SetActualDataLength(static_cast<LONG>(audio.size()));
  if (FAILED(hr)) return hr;

  REFERENCE_TIME start = 0, stop = 0;
  if (in->GetTime(&start, &stop) == S_OK) out->SetTime(&start, &stop);
  LONGLONG mediaStart = 0, mediaStop = 0;
  if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK) out->SetMediaTime(&mediaStart, &mediaStop);
  AM_MEDIA_TYPE* attached = nullptr;
  if (in->GetMediaType(&attached) == S_OK && attached) {
    out->SetMediaType(attached);
    DeleteMediaType(attached);
  }

  // The writer behind us places each sample at its start time: the offset in the file.
  hr = m_stream.Place(static_cast<std::uint32_t>(audio.size()), &start, &stop);
  if (FAILED(hr)) return hr;
  return out->SetTime(&start, &stop);
}

HRESULT AmbrelFilter::StopStreaming() { return WriteHeader(); }

HRESULT AmbrelFilter::WriteHeader() {
  ComPtr<IPin> peer;
  if (!m_pOutput || FAILED(m_pOutput->ConnectedTo(peer.GetAddressOf())) || !peer) return E_FAIL;
  ComPtr<IStream> stream;
  HRESULT hr = peer.As(&stream);
  if (FAILED(hr)) return hr;

  std::vector<BYTE> header;
  try {
    header.resize(m_stream.HeaderBytes());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  hr = m_stream.BuildHeader(m_format, header);
  if (FAILED(hr)) return hr;

  LARGE_INTEGER begin{0};
  hr = stream->Seek(begin, STREAM_SEEK_SET, nullptr);
  if (FAILED(hr)) return hr;
  ULONG written = 0;
  hr = stream->Write(header.data(), static_cast<ULONG>(header.size()), &written);
  if (FAILED(hr)) return hr;
  // A short write leaves a broken file: not a success.
  return written == header.size() ? hr : E_FAIL;
}

STDMETHODIMP AmbrelFilter::QueryVendorInfo(LPWSTR* vendorInfo) {
  if (!vendorInfo) return E_POINTER;
  *vendorInfo = CoTaskMemDupWide(kVendorInfo);
  return *vendorInfo ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP AmbrelFilter::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (!pages->pElems) return E_OUTOFMEMORY;
  pages->pElems[0] = CLSID_AmbrelAboutPage;
  pages->cElems = 1;
  return S_OK;
}
