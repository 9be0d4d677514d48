#pragma once
// IUnknown and IClassFactory. Interfaces are structs of pure virtual functions without a virtual
// destructor, so their slot order is the declaration order, the same in every module.
#include <atomic>
#include <tuple>
#include <type_traits>

#include "platform/com/guid.h"

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE

// Gives an interface its identifier: I::kIid, usable where Windows code writes __uuidof(I).
#define PLATFORM_INTERFACE_ID(text) static constexpr GUID kIid = MakeGuid(text)

struct IUnknown {
  PLATFORM_INTERFACE_ID("00000000-0000-0000-C000-000000000046");
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) = 0;
  STDMETHOD_(ULONG, AddRef)() = 0;
  STDMETHOD_(ULONG, Release)() = 0;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
  PLATFORM_INTERFACE_ID("00000001-0000-0000-C000-000000000046");
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** ppv) = 0;
  STDMETHOD(LockServer)(BOOL lock) = 0;
};

inline constexpr IID IID_IUnknown = IUnknown::kIid;
inline constexpr IID IID_IClassFactory = IClassFactory::kIid;

template <class T>
constexpr const GUID& uuidof() { return T::kIid; }
#define IID_PPV_ARGS(pp) uuidof<std::remove_pointer_t<std::remove_reference_t<decltype(*(pp))>>>(), reinterpret_cast<void**>(pp)

// Answers QueryInterface for the interfaces of one object: returns S_OK and adds a reference
// when riid is one of the listed interfaces.
template <class Object, class First, class... Rest>
HRESULT QueryInterfaceFor(Object* self, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == First::kIid) {
    *ppv = static_cast<First*>(self);
    static_cast<First*>(self)->AddRef();
    return S_OK;
  }
  if constexpr (sizeof...(Rest) > 0) {
    return QueryInterfaceFor<Object, Rest...>(self, riid, ppv);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
}

// A small reference-counted implementation of one or more interfaces for objects that are not
// aggregated (enumerators, monikers, class factories). Derived classes list their interfaces.
template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IUnknown::kIid) {
      *ppv = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
      AddRef();
      return S_OK;
    }
    return QueryInterfaceFor<ComObject, Interfaces...>(this, riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() = default;

 private:
  using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;
  std::atomic<ULONG> m_refs{1};
};
