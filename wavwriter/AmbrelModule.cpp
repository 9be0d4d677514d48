// Ambrel.ax: the in-process server of the AC3 WAV writer, with the four exports.
#include "platform/com/activation.h"
#include "platform/com/library.h"
#include "platform/dshow/FilterMapper.h"
#include "wavwriter/AmbrelFilter.h"
#include "wavwriter/AmbrelGuids.h"

namespace {
constexpr char kFilterName[] = "Orvanet Ambrel";

HRESULT CreateAmbrel(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  // An aggregating outer object may only ask for the inner IUnknown.
  if (outer && riid != IID_IUnknown) return E_NOINTERFACE;
  HRESULT hr = S_OK;
  CUnknown* object = AmbrelFilter::CreateInstance(outer, &hr);
  if (!object) return FAILED(hr) ? hr : E_OUTOFMEMORY;
  object->NonDelegatingAddRef();
  if (SUCCEEDED(hr)) hr = object->NonDelegatingQueryInterface(riid, ppv);
  object->NonDelegatingRelease();
  return hr;
}

constexpr ClassEntry kClasses[] = {{kFilterName, CLSID_Ambrel, CreateAmbrel}};

// In the catalogue with the lowest usable merit and no pins: graph building never picks Ambrel by
// itself, only a host that adds it by class identifier puts it into a graph.
constexpr AMOVIESETUP_FILTER kCatalogueEntry{&CLSID_Ambrel, u"Orvanet Ambrel", MERIT_DO_NOT_USE, 0, nullptr};
}  // namespace

PLATFORM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return ModuleGetClassObject(kClasses, &AmbrelObjectCount(), clsid, riid, ppv);
}

PLATFORM_EXPORT HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(AmbrelObjectCount()); }

PLATFORM_EXPORT HRESULT DllRegisterServer() {
  const HRESULT hr = RegisterServerClass(CLSID_Ambrel, kFilterName, GetModuleFileName(&kClasses).c_str(), "Both");
  if (FAILED(hr)) return hr;
  return RegisterFilterSetup(kCatalogueEntry, TRUE);
}

PLATFORM_EXPORT HRESULT DllUnregisterServer() {
  // Both entries go even when one of them cannot: the first failure is the answer.
  const HRESULT catalogue = RegisterFilterSetup(kCatalogueEntry, FALSE);
  const HRESULT server = UnregisterServerClass(CLSID_Ambrel);
  return FAILED(catalogue) ? catalogue : server;
}
