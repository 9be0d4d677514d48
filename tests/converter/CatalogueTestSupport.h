#pragma once
// Test helpers for the filter catalogue: modules from the build folder registered as the regsvr
// tool does, and catalogue entries of filters that exist only as registrations (no module), to
// shape the lists the converter's queries return.
#include <string>
#include <utility>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/library.h"
#include "platform/com/module.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FilterMapper.h"

namespace cataloguetest {

// Calls the module's DllRegisterServer; a module that cannot be loaded is E_FAIL.
inline HRESULT RegisterModule(const char* module) {
  HMODULE handle = LoadLibrary(module);
  if (!handle) return E_FAIL;
  auto entry = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(handle, "DllRegisterServer"));
  return entry ? entry() : E_FAIL;
}

using TypePair = std::pair<GUID, GUID>;

// A catalogue entry with one input pin taking the given types and, when asked, one output pin.
inline HRESULT RegisterCatalogueEntry(const char* clsidText, const char* name, DWORD merit,
                                      const std::vector<TypePair>& inputTypes, bool withOutput = true) {
  CLSID clsid{};
  if (!GuidFromString(clsidText, &clsid)) return E_INVALIDARG;
  std::vector<REGPINTYPES> types;
  for (const TypePair& pair : inputTypes) types.push_back(REGPINTYPES{&pair.first, &pair.second});
  const AMOVIESETUP_PIN pins[2] = {
      {u"In", FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, static_cast<UINT>(types.size()), types.data()},
      {u"Out", FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 0, nullptr},
  };
  const std::u16string wideName = Utf8ToUtf16(name);
  const AMOVIESETUP_FILTER filter{&clsid, wideName.c_str(), merit, withOutput ? 2u : 1u, pins};
  return RegisterFilterSetup(filter, TRUE);
}

}  // namespace cataloguetest
