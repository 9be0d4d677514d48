#pragma once
// CSource: a source filter with push pins (CSourceStream). Its state lock (pStateLock) is the
// filter lock of the base and the lock its pins take for connection and state changes; it is
// not taken on the streaming path.
#include <vector>

#include "platform/dshow/BaseFilter.h"

class CSourceStream;

class CSource : public CBaseFilter {
 public:
  CSource(const char* name, IUnknown* outer, REFCLSID clsid, HRESULT* result = nullptr);
  ~CSource() override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;
  // A pin is found by its name, or by its number as text: "1" is the first pin.
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  // The 0-based number of a pin, -1 when it is not one of ours.
  int FindPinNumber(IPin* pin);

  CCritSec* pStateLock() { return &m_cStateLock; }
  // Called by CSourceStream's constructor and destructor.
  HRESULT AddPin(CSourceStream* stream);
  HRESULT RemovePin(CSourceStream* stream);

 protected:
  std::vector<CSourceStream*> m_paStreams;  // owned: deleted with the filter
  CCritSec m_cStateLock;
};
