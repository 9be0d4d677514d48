// An in-process server for the activation tests: one class, CLSID_TestCounter.
#include "platform/com/activation.h"
#include "platform/com/library.h"
#include "tests/platform/com/TestInterfaces.h"

namespace {
ModuleObjectCount g_objects;

class Counter final : public ComObject<ICounter> {
 public:
  Counter() { g_objects.Increment(); }
  STDMETHODIMP Increment(LONG* value) override {
    if (!value) return E_POINTER;
    *value = ++m_value;
    return S_OK;
  }

 private:
  ~Counter() override { g_objects.Decrement(); }
  LONG m_value = 0;
};

HRESULT CreateCounter(IUnknown* outer, REFIID riid, void** ppv) {
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* counter = new Counter();
  HRESULT hr = counter->QueryInterface(riid, ppv);
  counter->Release();
  return hr;
}

constexpr ClassEntry kClasses[] = {{"Test Counter", CLSID_TestCounter, CreateCounter}};
}  // namespace

PLATFORM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return ModuleGetClassObject(kClasses, &g_objects, clsid, riid, ppv);
}
PLATFORM_EXPORT HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(g_objects); }
PLATFORM_EXPORT HRESULT DllRegisterServer() {
  return RegisterServerClass(CLSID_TestCounter, "Test Counter", GetModuleFileName(&g_objects).c_str(), "Both");
}
PLATFORM_EXPORT HRESULT DllUnregisterServer() { return UnregisterServerClass(CLSID_TestCounter); }
