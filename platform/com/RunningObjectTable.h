#pragma once
// The process-wide Running Object Table (see moniker.h for its contract). One instance lives for
// the whole process and is never destroyed: objects still registered at exit are not released,
// since their modules may already be gone.
#include <mutex>
#include <string>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/com/moniker.h"

class RunningObjectTable final : public ComObject<IRunningObjectTable> {
 public:
  static RunningObjectTable& Instance();

  STDMETHODIMP Register(DWORD flags, IUnknown* object, IMoniker* name, DWORD* cookie) override;
  STDMETHODIMP Revoke(DWORD cookie) override;
  STDMETHODIMP IsRunning(IMoniker* name) override;
  STDMETHODIMP GetObject(IMoniker* name, IUnknown** object) override;
  STDMETHODIMP EnumRunning(IEnumMoniker** monikers) override;

 private:
  struct Entry {
    DWORD cookie;
    std::u16string displayName;
    ComPtr<IUnknown> object;
    ComPtr<IMoniker> name;
  };

  std::mutex m_lock;
  std::vector<Entry> m_entries;  // in registration order
  DWORD m_nextCookie = 1;
};
