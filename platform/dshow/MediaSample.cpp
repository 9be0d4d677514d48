#include "platform/dshow/MediaSample.h"

#include "platform/dshow/MemAllocator.h"

CMediaSample::CMediaSample(CBaseAllocator* allocator, BYTE* buffer, LONG length)
    : m_pAllocator(allocator), m_pBuffer(buffer), m_cbBuffer(length), m_lActual(length) {}

CMediaSample::~CMediaSample() { DeleteMediaType(m_pMediaType); }

HRESULT CMediaSample::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IMediaSample::kIid) {
    *ppv = static_cast<IMediaSample*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CMediaSample::Release() {
  // The only holder needs no atomic read-modify-write: nobody else holds a reference that could
  // add one meanwhile. Most samples (one packet each) are released this way.
  LONG left;
  if (m_cRef.load(std::memory_order_acquire) == 1) {
    m_cRef.store(0, std::memory_order_relaxed);
    left = 0;
  } else {
    left = --m_cRef;
  }
  if (left == 0) {
    ResetProperties();
    m_pAllocator->ReleaseBuffer(this);
  }
  return static_cast<ULONG>(left);
}

void CMediaSample::ResetProperties() {
  if (m_pMediaType) {
    DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
  }
  m_flags = 0;
  m_lActual = m_cbBuffer;
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
  if (!buffer) return E_POINTER;
  *buffer = m_pBuffer;
  return S_OK;
}

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (!start || !stop) return E_POINTER;
  if (!(m_flags & kTimeValid)) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = m_start;
  if (!(m_flags & kStopValid)) {
    *stop = m_start + 1;
    return VFW_S_NO_STOP_TIME;
  }
  *stop = m_end;
  return S_OK;
}

HRESULT CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (!start) {
    m_flags &= ~(kTimeValid | kStopValid);
    return S_OK;
  }
  m_start = *start;
  m_flags |= kTimeValid;
  if (stop) {
    m_end = *stop;
    m_flags |= kStopValid;
  } else {
    m_flags &= ~kStopValid;
  }
  return S_OK;
}

HRESULT CMediaSample::SetActualDataLength(LONG length) {
  if (length < 0 || length > m_cbBuffer) return VFW_E_BUFFER_OVERFLOW;
  m_lActual = length;
  return S_OK;
}

HRESULT CMediaSample::GetMediaType(AM_MEDIA_TYPE** type) {
  if (!type) return E_POINTER;
  if (!(m_flags & kTypeChanged) || !m_pMediaType) {
    *type = nullptr;
    return S_FALSE;
  }
  *type = CreateMediaType(m_pMediaType);
  return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::SetMediaType(AM_MEDIA_TYPE* type) {
  if (m_pMediaType) {
    DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
  }
  if (!type) {
    m_flags &= ~kTypeChanged;
    return S_OK;
  }
  m_pMediaType = CreateMediaType(type);
  if (!m_pMediaType) {
    m_flags &= ~kTypeChanged;
    return E_OUTOFMEMORY;
  }
  m_flags |= kTypeChanged;
  return S_OK;
}

HRESULT CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end) {
  if (!start || !end) return E_POINTER;
  if (!(m_flags & kMediaTimeValid)) return VFW_E_MEDIA_TIME_NOT_SET;
  *start = m_mediaStart;
  *end = m_mediaEnd;
  return S_OK;
}

HRESULT CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end) {
  if (!start) {
    m_flags &= ~kMediaTimeValid;
    return S_OK;
  }
  if (!end) return E_POINTER;
  m_mediaStart = *start;
  m_mediaEnd = *end;
  m_flags |= kMediaTimeValid;
  return S_OK;
}
