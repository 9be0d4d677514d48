#pragma once
// CEnumPins: enumerates a filter's pins. It holds the filter and notices pins being added or
// removed through the filter's pin version: Next then fails with VFW_E_ENUM_OUT_OF_SYNC until Reset.
#include "platform/com/unknown.h"
#include "platform/dshow/Interfaces.h"

class CBaseFilter;

class CEnumPins final : public ComObject<IEnumPins> {
 public:
  // Starts at the beginning, or where other stands.
  CEnumPins(CBaseFilter* filter, const CEnumPins* other);

  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** copy) override;

 private:
  ~CEnumPins() override;
  CBaseFilter* m_pFilter;  // counted
  int m_position = 0;
  LONG m_version;
};
