#include "platform/dshow/ComBase.h"

CUnknown::CUnknown(const char* name, IUnknown* outer, HRESULT* /*result*/)
    : m_owner(outer ? outer : &m_inner), m_name(name) {}

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown) return GetInterface(&m_inner, ppv);
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() { return static_cast<ULONG>(++m_cRef); }

ULONG CUnknown::NonDelegatingRelease() {
  LONG left = --m_cRef;
  if (left == 0) {
    // A count of one during destruction keeps a nested AddRef/Release pair from deleting twice.
    m_cRef = 1;
    delete this;
    return 0;
  }
  return static_cast<ULONG>(left);
}

HRESULT GetInterface(IUnknown* unk, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = unk;
  unk->AddRef();
  return S_OK;
}
