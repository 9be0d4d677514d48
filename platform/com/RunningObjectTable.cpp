#include "platform/com/RunningObjectTable.h"

#include <algorithm>

#include "platform/com/ItemMoniker.h"
#include "platform/com/MonikerEnumerator.h"

RunningObjectTable& RunningObjectTable::Instance() {
  static auto* table = new RunningObjectTable();  // its own reference is never released
  return *table;
}

STDMETHODIMP RunningObjectTable::Register(DWORD, IUnknown* object, IMoniker* name, DWORD* cookie) {
  if (cookie) *cookie = 0;
  if (!object || !name || !cookie) return E_INVALIDARG;
  std::u16string displayName;
  if (!MonikerDisplayName(name, &displayName)) return E_INVALIDARG;  // asked before taking the lock
  std::lock_guard lock(m_lock);
  const bool taken = std::any_of(m_entries.begin(), m_entries.end(),
                                 [&](const Entry& entry) { return entry.displayName == displayName; });
  *cookie = m_nextCookie++;
  if (m_nextCookie == 0) m_nextCookie = 1;
  m_entries.push_back(Entry{*cookie, std::move(displayName), object, name});
  return taken ? MK_S_MONIKERALREADYREGISTERED : S_OK;
}

STDMETHODIMP RunningObjectTable::Revoke(DWORD cookie) {
  Entry revoked;
  {
    std::lock_guard lock(m_lock);
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& entry) { return entry.cookie == cookie; });
    if (cookie == 0 || it == m_entries.end()) return E_INVALIDARG;
    revoked = std::move(*it);
    m_entries.erase(it);
  }
  return S_OK;  // the object and its name are released here, outside the lock
}

STDMETHODIMP RunningObjectTable::IsRunning(IMoniker* name) {
  ComPtr<IUnknown> object;
  HRESULT hr = GetObject(name, object.GetAddressOf());
  if (hr == E_INVALIDARG) return hr;
  return SUCCEEDED(hr) ? S_OK : S_FALSE;
}

STDMETHODIMP RunningObjectTable::GetObject(IMoniker* name, IUnknown** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  std::u16string displayName;
  if (!MonikerDisplayName(name, &displayName)) return E_INVALIDARG;
  std::lock_guard lock(m_lock);
  auto it = std::find_if(m_entries.begin(), m_entries.end(),
                         [&](const Entry& entry) { return entry.displayName == displayName; });
  if (it == m_entries.end()) return MK_E_UNAVAILABLE;
  *object = it->object.Get();
  (*object)->AddRef();  // AddRef cannot call back into the table
  return S_OK;
}

STDMETHODIMP RunningObjectTable::EnumRunning(IEnumMoniker** monikers) {
  if (!monikers) return E_POINTER;
  std::vector<ComPtr<IMoniker>> names;
  {
    std::lock_guard lock(m_lock);
    names.reserve(m_entries.size());
    for (const Entry& entry : m_entries) names.push_back(entry.name);
  }
  *monikers = new MonikerEnumerator(std::move(names));
  return S_OK;
}

HRESULT GetRunningObjectTable(DWORD, IRunningObjectTable** table) {
  if (!table) return E_POINTER;
  *table = &RunningObjectTable::Instance();
  (*table)->AddRef();
  return S_OK;
}
