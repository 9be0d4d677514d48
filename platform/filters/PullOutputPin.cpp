#include "platform/filters/PullOutputPin.h"

#include "platform/dshow/Guids.h"

PullOutputPin::PullOutputPin(const char* objectName, CBaseFilter* filter, PullStreamSource* source, CCritSec* lock,
                             HRESULT* result)
    : CBasePin(objectName, filter, lock, result, u"Output", PINDIR_OUTPUT), m_source(source) {}

HRESULT PullOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IAsyncReader::kIid) return GetInterface(static_cast<IAsyncReader*>(this), ppv);
  return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT PullOutputPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  if (!m_source->IsLoaded()) return VFW_E_NOT_CONNECTED;
  const CMediaType& own = m_source->StreamType();
  if (*type->Type() != *own.Type()) return VFW_E_TYPE_NOT_ACCEPTED;
  if (*type->Subtype() != GUID_NULL && *type->Subtype() != *own.Subtype()) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT PullOutputPin::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0 || !m_source->IsLoaded()) return VFW_S_NO_MORE_ITEMS;
  *type = m_source->StreamType();
  return S_OK;
}

STDMETHODIMP PullOutputPin::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
  return m_source->ReadAt(position, length, buffer);
}

STDMETHODIMP PullOutputPin::Length(LONGLONG* total, LONGLONG* available) {
  if (!total || !available) return E_POINTER;
  const HRESULT hr = m_source->StreamLength(total);
  *available = SUCCEEDED(hr) ? *total : 0;
  return hr;
}
