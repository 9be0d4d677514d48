#include "platform/com/module.h"

namespace {
class ClassFactory final : public ComObject<IClassFactory> {
 public:
  ClassFactory(CreateInstanceFn create, ModuleObjectCount* count) : m_create(create), m_count(count) {
    if (m_count) m_count->Increment();
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return m_create(outer, riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (!m_count) return S_OK;
    if (lock) m_count->Increment(); else m_count->Decrement();
    return S_OK;
  }

 private:
  ~ClassFactory() override {
    if (m_count) m_count->Decrement();
  }
  CreateInstanceFn m_create;
  ModuleObjectCount* m_count;
};
}  // namespace

IClassFactory* NewClassFactory(CreateInstanceFn create, ModuleObjectCount* count) {
  return new (std::nothrow) ClassFactory(create, count);
}

HRESULT ModuleGetClassObject(std::span<const ClassEntry> classes, ModuleObjectCount* count, REFCLSID clsid,
                             REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (const ClassEntry& entry : classes) {
    if (entry.clsid != clsid) continue;
    IClassFactory* factory = NewClassFactory(entry.create, count);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}
