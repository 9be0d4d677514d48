#pragma once
// CUnknown: the base of objects that may be aggregated. Its NonDelegating* methods are the
// object's own IUnknown; the interfaces it implements forward QueryInterface/AddRef/Release to
// GetOwner() (DECLARE_IUNKNOWN), which is the outer object when aggregated and the object's own
// inner IUnknown otherwise. Derived classes answer their interfaces in
// NonDelegatingQueryInterface with GetInterface and pass the rest to their base.
#include <atomic>

#include "platform/com/unknown.h"

struct INonDelegatingUnknown {
  virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG NonDelegatingAddRef() = 0;
  virtual ULONG NonDelegatingRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown {
 public:
  CUnknown(const char* name, IUnknown* outer, HRESULT* result = nullptr);
  virtual ~CUnknown() = default;
  CUnknown(const CUnknown&) = delete;
  CUnknown& operator=(const CUnknown&) = delete;

  IUnknown* GetOwner() const { return m_owner; }
  const char* Name() const { return m_name; }

  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  ULONG NonDelegatingAddRef() override;
  ULONG NonDelegatingRelease() override;

 protected:
  std::atomic<LONG> m_cRef{0};

 private:
  // The object's own IUnknown, handed out when it is not aggregated.
  struct InnerUnknown final : IUnknown {
    explicit InnerUnknown(CUnknown* self) : m_self(self) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return m_self->NonDelegatingQueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_self->NonDelegatingAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_self->NonDelegatingRelease(); }
    CUnknown* m_self;
  };
  InnerUnknown m_inner{this};
  IUnknown* m_owner;
  const char* m_name;
};

// Hands out an interface pointer with one reference added.
HRESULT GetInterface(IUnknown* unk, void** ppv);

#define DECLARE_IUNKNOWN                                                                          \
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return GetOwner()->QueryInterface(riid, ppv); } \
  STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); }                        \
  STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }
