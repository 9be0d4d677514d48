// Flumetta.ax's registration as hosts see it: the catalogue lists the filter under its name, at
// its merit, with its one output pin for transport streams; unregistering removes it again.
#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/module.h"
#include "platform/com/variant.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FilterMapper.h"
#include "platform/dshow/Guids.h"
#include "platform/registry/registry.h"
#include "shared/ClassIds.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/tsfilter/graph/FlumettaGraph.h"

namespace flumgraph {
namespace {

struct Listed {
  std::string name;
  std::string clsid;
};

// Filters of at least `merit` with an output pin of exactly the transport-stream type.
std::vector<Listed> TransportStreamSources(DWORD merit) {
  ComPtr<IFilterMapper2> mapper;
  EXPECT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(mapper.GetAddressOf())), S_OK);
  std::vector<Listed> listed;
  if (!mapper) return listed;
  const GUID type[2] = {MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT};
  ComPtr<IEnumMoniker> found;
  EXPECT_EQ(mapper->EnumMatchingFilters(found.GetAddressOf(), 0, TRUE, merit, FALSE, 0, nullptr, nullptr, nullptr, FALSE,
                                        TRUE, 1, type, nullptr, nullptr),
            S_OK);
  ComPtr<IMoniker> moniker;
  while (found && found->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(bag.GetAddressOf())))) continue;
    Listed entry;
    for (auto [key, text] : {std::pair{u"FriendlyName", &entry.name}, std::pair{u"CLSID", &entry.clsid}}) {
      VARIANT value;
      VariantInit(&value);
      if (SUCCEEDED(bag->Read(key, &value, nullptr)) && value.vt == VT_BSTR) *text = BstrToUtf8(value.bstrVal);
      VariantClear(&value);
    }
    listed.push_back(entry);
  }
  return listed;
}

TEST(CatalogueRegistration, ListsTheFilterWithItsNameMeritAndPinUntilUnregistered) {
  TemporaryRegistry registry;
  HMODULE module = LoadLibrary("Flumetta.ax");
  ASSERT_NE(module, nullptr) << LastLibraryError();
  auto registerServer = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(module, "DllRegisterServer"));
  auto unregisterServer = reinterpret_cast<DllUnregisterServerFn>(GetProcAddress(module, "DllUnregisterServer"));
  ASSERT_TRUE(registerServer && unregisterServer);

  ASSERT_EQ(registerServer(), S_OK);
  const std::vector<Listed> listed = TransportStreamSources(MERIT_DO_NOT_USE);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, "Orvanet Flumetta");
  EXPECT_EQ(listed[0].clsid, kFlumettaClsidText);
  EXPECT_TRUE(TransportStreamSources(MERIT_DO_NOT_USE + 1).empty()) << "registered at merit 'do not use'";

  const std::string entry = std::string("CLSID\\") + GuidToString(CLSID_LegacyAmFilterCategory) + "\\Instance\\" +
                            kFlumettaClsidText;
  std::string pins;
  ASSERT_TRUE(RegistryReadString(HKEY_CLASSES_ROOT, entry, "Pins", &pins));
  EXPECT_EQ(pins, "Output|O|" + GuidToString(MEDIATYPE_Stream) + "/" + GuidToString(MEDIASUBTYPE_MPEG2_TRANSPORT) + "\n")
      << "one output pin, not rendered, exactly one instance";

  ASSERT_EQ(unregisterServer(), S_OK);
  EXPECT_TRUE(TransportStreamSources(0).empty());
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(CoCreateInstance(CLSID_Flumetta, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
  FreeLibrary(module);
}

}  // namespace
}  // namespace flumgraph
