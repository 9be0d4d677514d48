#pragma once
// CEnumMediaTypes: enumerates a pin's preferred types (its GetMediaType(n)); each type handed
// out is a CreateMediaType copy the caller frees with DeleteMediaType. Holds the pin (and so
// its filter); a change of the pin's type version makes Next fail with VFW_E_ENUM_OUT_OF_SYNC.
#include "platform/com/unknown.h"
#include "platform/dshow/Interfaces.h"

class CBasePin;

class CEnumMediaTypes final : public ComObject<IEnumMediaTypes> {
 public:
  CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* other);

  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** copy) override;

 private:
  ~CEnumMediaTypes() override;
  CBasePin* m_pPin;  // counted
  int m_position = 0;
  LONG m_version;
};
