#include "platform/dshow/EnumPins.h"

#include <new>

#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/BasePin.h"

CEnumPins::CEnumPins(CBaseFilter* filter, const CEnumPins* other)
    : m_pFilter(filter), m_version(filter->GetPinVersion()) {
  m_pFilter->AddRef();
  if (other) {
    m_position = other->m_position;
    m_version = other->m_version;
  }
}

CEnumPins::~CEnumPins() { m_pFilter->Release(); }

HRESULT CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (!pins) return E_POINTER;
  if (fetched) *fetched = 0;
  else if (count > 1) return E_INVALIDARG;
  if (m_version != m_pFilter->GetPinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
  ULONG got = 0;
  const int total = m_pFilter->GetPinCount();
  while (got < count && m_position < total) {
    CBasePin* pin = m_pFilter->GetPin(m_position++);
    if (!pin) break;
    pins[got] = pin;
    pin->AddRef();
    ++got;
  }
  if (fetched) *fetched = got;
  return got == count ? S_OK : S_FALSE;
}

HRESULT CEnumPins::Skip(ULONG count) {
  if (m_version != m_pFilter->GetPinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
  const int total = m_pFilter->GetPinCount();
  if (static_cast<long long>(m_position) + count > total) {
    m_position = total;
    return S_FALSE;
  }
  m_position += static_cast<int>(count);
  return S_OK;
}

HRESULT CEnumPins::Reset() {
  m_version = m_pFilter->GetPinVersion();
  m_position = 0;
  return S_OK;
}

HRESULT CEnumPins::Clone(IEnumPins** copy) {
  if (!copy) return E_POINTER;
  *copy = new (std::nothrow) CEnumPins(m_pFilter, this);
  return *copy ? S_OK : E_OUTOFMEMORY;
}
