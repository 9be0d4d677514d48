#include "platform/com/BindContext.h"

STDMETHODIMP BindContext::GetRunningObjectTable(IRunningObjectTable** table) {
  return ::GetRunningObjectTable(0, table);
}

HRESULT CreateBindCtx(DWORD, IBindCtx** bindContext) {
  if (!bindContext) return E_POINTER;
  *bindContext = new BindContext();
  return S_OK;
}
