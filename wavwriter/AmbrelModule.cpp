// Ambrel.ax: the in-process server of the AC3 WAV writer, with the four exports.
#include "platform/com/activation.h"
#include "platform/com/library.h"
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
}  // namespace

PLATFORM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return ModuleGetClassObject(kClasses, &AmbrelObjectCount(), clsid, riid, ppv);
}

PLATFORM_EXPORT HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(AmbrelObjectCount()); }

PLATFORM_EXPORT HRESULT DllRegisterServer() {
  return RegisterServerClass(CLSID_Ambrel, kFilterName, GetModuleFileName(&kClasses).c_str(), "Both");
}

PLATFORM_EXPORT HRESULT DllUnregisterServer() { return UnregisterServerClass(CLSID_Ambrel); }
