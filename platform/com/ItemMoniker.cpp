#include "platform/com/ItemMoniker.h"

#include "platform/com/comptr.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"

bool MonikerDisplayName(IMoniker* moniker, std::u16string* name) {
  LPOLESTR text = nullptr;
  if (!moniker || FAILED(moniker->GetDisplayName(nullptr, nullptr, &text)) || !text) return false;
  name->assign(text);
  CoTaskMemFree(text);
  return true;
}

STDMETHODIMP ItemMoniker::BindToObject(IBindCtx* bindContext, IMoniker*, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  ComPtr<IRunningObjectTable> table;
  HRESULT hr = bindContext ? bindContext->GetRunningObjectTable(table.GetAddressOf())
                           : ::GetRunningObjectTable(0, table.GetAddressOf());
  if (FAILED(hr)) return hr;
  ComPtr<IUnknown> object;
  hr = table->GetObject(this, object.GetAddressOf());
  if (FAILED(hr)) return hr;
  return object->QueryInterface(riid, ppv);
}

STDMETHODIMP ItemMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID, void** ppv) {
  if (ppv) *ppv = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ItemMoniker::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* displayName) {
  if (!displayName) return E_POINTER;
  *displayName = CoTaskMemDupWide(m_displayName);
  return *displayName ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ItemMoniker::IsEqual(IMoniker* other) {
  std::u16string otherName;
  return MonikerDisplayName(other, &otherName) && otherName == m_displayName ? S_OK : S_FALSE;
}

HRESULT CreateItemMoniker(LPCOLESTR delimiter, LPCOLESTR item, IMoniker** moniker) {
  if (!moniker) return E_POINTER;
  *moniker = new ItemMoniker(delimiter ? delimiter : u"", item ? item : u"");
  return S_OK;
}
