#pragma once
// Enumerates a fixed list of monikers (a snapshot taken when the enumerator was made).
#include <vector>

#include "platform/com/comptr.h"
#include "platform/com/moniker.h"

class MonikerEnumerator final : public ComObject<IEnumMoniker> {
 public:
  explicit MonikerEnumerator(std::vector<ComPtr<IMoniker>> monikers, std::size_t position = 0)
      : m_monikers(std::move(monikers)), m_position(position) {}

  STDMETHODIMP Next(ULONG count, IMoniker** monikers, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMoniker** copy) override;

 private:
  const std::vector<ComPtr<IMoniker>> m_monikers;
  std::size_t m_position;  // one enumerator is used by one thread at a time
};
