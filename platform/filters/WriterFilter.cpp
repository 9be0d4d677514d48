#include "platform/filters/WriterFilter.h"

#include "platform/com/wstring.h"

WriterInputPin::WriterInputPin(WriterFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR name)
    : CBaseInputPin("Writer input", filter, lock, result, name), m_writer(filter) {}

HRESULT WriterInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IStream::kIid || riid == ISequentialStream::kIid) {
    return GetInterface(static_cast<IStream*>(this), ppv);
  }
  return CBaseInputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT WriterInputPin::CheckMediaType(const CMediaType* type) {
  return type ? S_OK : E_POINTER;  // anything can be written
}

HRESULT WriterInputPin::SetMediaType(const CMediaType* type) {
  HRESULT hr = CBaseInputPin::SetMediaType(type);
  if (SUCCEEDED(hr)) m_positioned = m_writer->PositionsByteStream(*type);
  return hr;
}

STDMETHODIMP WriterInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  BYTE* data = nullptr;
  hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  // Only a positioned byte stream needs the time (its offset); the others skip the call.
  REFERENCE_TIME start = 0, stop = 0;
  const bool positioned = m_positioned && SUCCEEDED(sample->GetTime(&start, &stop));
  return m_writer->WriteSample(data, sample->GetActualDataLength(), positioned, start);
}

STDMETHODIMP WriterInputPin::EndOfStream() {
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  m_writer->OnEndOfStream();
  return S_OK;
}

STDMETHODIMP WriterInputPin::EndFlush() {
  m_writer->OnEndFlush();
  return CBaseInputPin::EndFlush();
}

STDMETHODIMP WriterInputPin::Read(void*, ULONG, ULONG*) {
  return E_NOTIMPL;
}

STDMETHODIMP WriterInputPin::Write(const void* buffer, ULONG count, ULONG* written) {
  ULONG done = 0;
  HRESULT hr = m_writer->Sink().StreamWrite(buffer, count, &done);
  if (written) *written = done;
  return hr;
}

STDMETHODIMP WriterInputPin::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
  std::uint64_t position = 0;
  HRESULT hr = m_writer->Sink().StreamSeek(move.QuadPart, origin, &position);
  if (SUCCEEDED(hr) && newPosition) newPosition->QuadPart = position;
  return hr;
}

STDMETHODIMP WriterInputPin::SetSize(ULARGE_INTEGER) {
  return E_NOTIMPL;
}

STDMETHODIMP WriterInputPin::Commit(DWORD) {
  return S_OK;
}

HRESULT WriterFilter::Create(const WriterOptions& options, IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* filter = new WriterFilter(options, nullptr);
  filter->NonDelegatingAddRef();
  HRESULT hr = filter->NonDelegatingQueryInterface(riid, ppv);
  filter->NonDelegatingRelease();
  return hr;
}

WriterFilter::WriterFilter(const WriterOptions& options, IUnknown* outer)
    : CBaseFilter(options.filterName, outer, &m_lock, options.clsid), m_options(options) {
  HRESULT hr = S_OK;
  m_input = std::make_unique<WriterInputPin>(this, &m_lock, &hr, options.pinName);
}

WriterFilter::~WriterFilter() {
  m_sink.Close();
}

HRESULT WriterFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IFileSinkFilter::kIid) return GetInterface(static_cast<IFileSinkFilter*>(this), ppv);
  if (riid == IAMFilterMiscFlags::kIid) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* WriterFilter::GetPin(int n) {
  return n == 0 ? m_input.get() : nullptr;
}

bool WriterFilter::PositionsByteStream(const CMediaType& type) const {
  if (*type.Type() != MEDIATYPE_Stream) return false;
  return m_options.positionAllByteStreams || *type.Subtype() == MEDIASUBTYPE_WAVE;
}

STDMETHODIMP WriterFilter::Pause() {
  CAutoLock lock(&m_lock);
  if (IsStopped()) {
    m_endOfStream = false;
    m_completeSent = false;
    m_errorReported = false;
    HRESULT hr = m_sink.Start();
    if (FAILED(hr)) return hr;  // a file that cannot be created stops the graph from running
  }
  return CBaseFilter::Pause();
}

STDMETHODIMP WriterFilter::Run(REFERENCE_TIME start) {
  CAutoLock lock(&m_lock);
  HRESULT hr = CBaseFilter::Run(start);
  if (SUCCEEDED(hr) && m_endOfStream && !m_completeSent.exchange(true)) {
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
  }
  return hr;
}

STDMETHODIMP WriterFilter::Stop() {
  CAutoLock lock(&m_lock);
  HRESULT hr = CBaseFilter::Stop();
  HRESULT flushed = m_sink.Stop();
  if (FAILED(flushed)) ReportError(flushed);
  return FAILED(hr) ? hr : flushed;
}

STDMETHODIMP WriterFilter::QueryVendorInfo(LPWSTR* vendorInfo) {
  if (!m_options.vendorInfo) return CBaseFilter::QueryVendorInfo(vendorInfo);
  if (!vendorInfo) return E_POINTER;
  *vendorInfo = CoTaskMemDupWide(m_options.vendorInfo);
  return *vendorInfo ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP WriterFilter::SetFileName(LPCWSTR fileName, const AM_MEDIA_TYPE*) {
  if (!fileName) return E_POINTER;
  m_sink.SetFileName(Utf16ToUtf8(fileName));
  return S_OK;
}

STDMETHODIMP WriterFilter::GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  const std::string name = m_sink.FileName();
  *fileName = nullptr;
  if (type) {
    *type = AM_MEDIA_TYPE{};
    if (m_input->IsConnected()) CopyMediaType(type, &m_input->CurrentMediaType());
  }
  if (name.empty()) return S_FALSE;
  *fileName = CoTaskMemDupUtf8(name);
  return *fileName ? S_OK : E_OUTOFMEMORY;
}

HRESULT WriterFilter::WriteSample(const BYTE* data, long size, bool positioned, REFERENCE_TIME offset) {
  if (size < 0 || (positioned && offset < 0)) {
    ReportError(E_INVALIDARG);
    return E_INVALIDARG;
  }
  HRESULT hr = m_sink.Write(data, static_cast<std::size_t>(size), positioned, static_cast<std::uint64_t>(offset));
  if (FAILED(hr)) ReportError(hr);
  return hr;
}

void WriterFilter::OnEndOfStream() {
  m_endOfStream = true;
  if (m_State == State_Running && !m_completeSent.exchange(true)) {
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
  }
}

void WriterFilter::OnEndFlush() {
  m_endOfStream = false;
  m_completeSent = false;
}

void WriterFilter::ReportError(HRESULT hr) {
  if (!m_errorReported.exchange(true)) NotifyEvent(EC_ERRORABORT, hr, 0);
}
