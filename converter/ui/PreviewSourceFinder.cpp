#include "converter/ui/PreviewSourceFinder.h"

#include <cstdio>

#include "platform/com/comptr.h"
#include "platform/com/moniker.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"

std::string PreviewSourceDisplayName(const std::string& fileName, DWORD processId) {
  char pid[24];
  std::snprintf(pid, sizeof pid, " pid %08x", static_cast<unsigned>(processId));
  return "!Flumetta:" + fileName + pid;
}

HRESULT FindPreviewSeeking(const std::string& fileName, DWORD processId, IMediaSeeking** seeking) {
  if (!seeking) return E_POINTER;
  *seeking = nullptr;
  const std::string wanted = PreviewSourceDisplayName(fileName, processId);

  ComPtr<IBindCtx> bindContext;
  HRESULT hr = CreateBindCtx(0, bindContext.GetAddressOf());
  if (FAILED(hr)) return hr;
  ComPtr<IRunningObjectTable> table;
  hr = bindContext->GetRunningObjectTable(table.GetAddressOf());
  if (FAILED(hr)) return hr;
  ComPtr<IEnumMoniker> entries;
  hr = table->EnumRunning(entries.GetAddressOf());
  if (FAILED(hr)) return hr;

  ComPtr<IMediaSeeking> found;
  for (;;) {
    ComPtr<IMoniker> moniker;
    if (entries->Next(1, moniker.GetAddressOf(), nullptr) != S_OK || !moniker) break;
    LPOLESTR name = nullptr;
    if (FAILED(moniker->GetDisplayName(bindContext.Get(), nullptr, &name)) || !name) continue;
    const bool same = Utf16ToUtf8(name) == wanted;
    CoTaskMemFree(name);
    if (!same) continue;
    ComPtr<IUnknown> object;
    if (FAILED(table->GetObject(moniker.Get(), object.GetAddressOf())) || !object) continue;
    ComPtr<IMediaSeeking> candidate;
    if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(candidate.GetAddressOf())))) found = candidate;
  }
  if (!found) return S_FALSE;
  *seeking = found.Detach();
  return S_OK;
}
