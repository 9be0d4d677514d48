#include "platform/com/MonikerEnumerator.h"

STDMETHODIMP MonikerEnumerator::Next(ULONG count, IMoniker** monikers, ULONG* fetched) {
  if (!monikers || (!fetched && count != 1)) return E_POINTER;
  ULONG given = 0;
  while (given < count && m_position < m_monikers.size()) {
    monikers[given] = m_monikers[m_position].Get();
    monikers[given]->AddRef();
    ++given;
    ++m_position;
  }
  if (fetched) *fetched = given;
  return given == count ? S_OK : S_FALSE;
}

STDMETHODIMP MonikerEnumerator::Skip(ULONG count) {
  const std::size_t left = m_monikers.size() - m_position;
  if (count > left) {
    m_position = m_monikers.size();
    return S_FALSE;
  }
  m_position += count;
  return S_OK;
}

STDMETHODIMP MonikerEnumerator::Reset() {
  m_position = 0;
  return S_OK;
}

STDMETHODIMP MonikerEnumerator::Clone(IEnumMoniker** copy) {
  if (!copy) return E_POINTER;
  *copy = new MonikerEnumerator(m_monikers, m_position);
  return S_OK;
}
