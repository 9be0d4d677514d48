#pragma once
// CEnumFilters: enumerates a snapshot of a graph's filters (each held while the enumerator lives).
#include <vector>

#include "platform/com/comptr.h"
#include "platform/dshow/Interfaces.h"

class CEnumFilters final : public ComObject<IEnumFilters> {
 public:
  explicit CEnumFilters(std::vector<ComPtr<IBaseFilter>> filters, size_t position = 0)
      : m_filters(std::move(filters)), m_position(position) {}

  STDMETHODIMP Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumFilters** copy) override;

 private:
  std::vector<ComPtr<IBaseFilter>> m_filters;
  size_t m_position;
};
