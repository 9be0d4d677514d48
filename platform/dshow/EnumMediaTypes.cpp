#include "platform/dshow/EnumMediaTypes.h"

#include <new>

#include "platform/dshow/BasePin.h"

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* other)
    : m_pPin(pin), m_version(pin->GetMediaTypeVersion()) {
  m_pPin->AddRef();
  if (other) {
    m_position = other->m_position;
    m_version = other->m_version;
  }
}

CEnumMediaTypes::~CEnumMediaTypes() { m_pPin->Release(); }

HRESULT CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (!types) return E_POINTER;
  if (fetched) *fetched = 0;
  else if (count > 1) return E_INVALIDARG;
  if (m_version != m_pPin->GetMediaTypeVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
  ULONG got = 0;
  while (got < count) {
    CMediaType type;
    if (m_pPin->GetMediaType(m_position, &type) != S_OK) break;
    ++m_position;
    types[got] = CreateMediaType(&type);
    if (!types[got]) {
      if (fetched) *fetched = got;
      return E_OUTOFMEMORY;
    }
    ++got;
  }
  if (fetched) *fetched = got;
  return got == count ? S_OK : S_FALSE;
}

HRESULT CEnumMediaTypes::Skip(ULONG count) {
  if (m_version != m_pPin->GetMediaTypeVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
  while (count > 0) {
    CMediaType type;
    if (m_pPin->GetMediaType(m_position, &type) != S_OK) return S_FALSE;
    ++m_position;
    --count;
  }
  return S_OK;
}

HRESULT CEnumMediaTypes::Reset() {
  m_version = m_pPin->GetMediaTypeVersion();
  m_position = 0;
  return S_OK;
}

HRESULT CEnumMediaTypes::Clone(IEnumMediaTypes** copy) {
  if (!copy) return E_POINTER;
  *copy = new (std::nothrow) CEnumMediaTypes(m_pPin, this);
  return *copy ? S_OK : E_OUTOFMEMORY;
}
