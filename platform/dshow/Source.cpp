#include "platform/dshow/Source.h"

#include <algorithm>
#include <string>

#include "platform/dshow/SourceStream.h"

CSource::CSource(const char* name, IUnknown* outer, REFCLSID clsid, HRESULT* result)
    : CBaseFilter(name, outer, &m_cStateLock, clsid, result) {}

CSource::~CSource() {
  // Each pin's destructor removes itself from the list.
  while (!m_paStreams.empty()) delete m_paStreams.back();
}

int CSource::GetPinCount() {
  CAutoLock lock(&m_cStateLock);
  return static_cast<int>(m_paStreams.size());
}

CBasePin* CSource::GetPin(int n) {
  CAutoLock lock(&m_cStateLock);
  if (n < 0 || n >= static_cast<int>(m_paStreams.size())) return nullptr;
  return m_paStreams[static_cast<size_t>(n)];
}

HRESULT CSource::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  CAutoLock lock(&m_cStateLock);
  const std::u16string_view wanted(id);
  for (CSourceStream* stream : m_paStreams) {
    if (stream->Name() && wanted == std::u16string_view(stream->Name())) {
      *pin = stream;
      stream->AddRef();
      return S_OK;
    }
  }
  // By number: decimal digits only, 1-based.
  if (wanted.empty() || wanted.size() > 9) return VFW_E_NOT_FOUND;
  int number = 0;
  for (char16_t c : wanted) {
    if (c < u'0' || c > u'9') return VFW_E_NOT_FOUND;
    number = number * 10 + (c - u'0');
  }
  CBasePin* found = GetPin(number - 1);
  if (!found) return VFW_E_NOT_FOUND;
  *pin = found;
  found->AddRef();
  return S_OK;
}

int CSource::FindPinNumber(IPin* pin) {
  CAutoLock lock(&m_cStateLock);
  for (size_t i = 0; i < m_paStreams.size(); ++i)
    if (static_cast<IPin*>(m_paStreams[i]) == pin) return static_cast<int>(i);
  return -1;
}

HRESULT CSource::AddPin(CSourceStream* stream) {
  CAutoLock lock(&m_cStateLock);
  try {
    m_paStreams.push_back(stream);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  IncrementPinVersion();
  return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* stream) {
  CAutoLock lock(&m_cStateLock);
  auto it = std::find(m_paStreams.begin(), m_paStreams.end(), stream);
  if (it == m_paStreams.end()) return S_FALSE;
  m_paStreams.erase(it);
  IncrementPinVersion();
  return S_OK;
}
