#include "platform/dshow/EnumFilters.h"

#include <new>

HRESULT CEnumFilters::Next(ULONG count, IBaseFilter** filters, ULONG* fetched) {
  if (!filters) return E_POINTER;
  if (!fetched && count > 1) return E_INVALIDARG;
  ULONG got = 0;
  while (got < count && m_position < m_filters.size()) m_filters[m_position++].CopyTo(&filters[got++]);
  if (fetched) *fetched = got;
  return got == count ? S_OK : S_FALSE;
}

HRESULT CEnumFilters::Skip(ULONG count) {
  if (m_position + count > m_filters.size()) {
    m_position = m_filters.size();
    return S_FALSE;
  }
  m_position += count;
  return S_OK;
}

HRESULT CEnumFilters::Reset() {
  m_position = 0;
  return S_OK;
}

HRESULT CEnumFilters::Clone(IEnumFilters** copy) {
  if (!copy) return E_POINTER;
  *copy = new (std::nothrow) CEnumFilters(m_filters, m_position);
  return *copy ? S_OK : E_OUTOFMEMORY;
}
