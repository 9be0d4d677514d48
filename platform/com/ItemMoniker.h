#pragma once
// A moniker named by a delimiter and an item text, e.g. "!" and "FilterGraph 0000abcd pid 00001f2e".
#include <string>

#include "platform/com/moniker.h"

class ItemMoniker final : public ComObject<IMoniker> {
 public:
  ItemMoniker(std::u16string delimiter, std::u16string item)
      : m_displayName(std::move(delimiter) + std::move(item)) {}

  STDMETHODIMP BindToObject(IBindCtx* bindContext, IMoniker* left, REFIID riid, void** ppv) override;
  STDMETHODIMP BindToStorage(IBindCtx* bindContext, IMoniker* left, REFIID riid, void** ppv) override;
  STDMETHODIMP GetDisplayName(IBindCtx* bindContext, IMoniker* left, LPOLESTR* displayName) override;
  STDMETHODIMP IsEqual(IMoniker* other) override;

 private:
  const std::u16string m_displayName;
};

// A moniker's display name as a string; false when it gives none.
bool MonikerDisplayName(IMoniker* moniker, std::u16string* name);
