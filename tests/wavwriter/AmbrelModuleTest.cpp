// Ambrel.ax as a host sees it: loaded by name, registered, created by class identifier.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/library.h"
#include "platform/com/taskmem.h"
#include "platform/com/variant.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FilterGraph.h"
#include "platform/dshow/FilterMapper.h"
#include "platform/dshow/Guids.h"
#include "platform/dshow/Interfaces.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/wavwriter/GraphDoubles.h"
#include "tests/wavwriter/WavBytes.h"
#include "wavwriter/AmbrelGuids.h"

namespace {

class AmbrelModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module = LoadLibrary("Ambrel.ax");
    ASSERT_NE(m_module, nullptr) << LastLibraryError();
    m_register = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(m_module, "DllRegisterServer"));
    m_unregister = reinterpret_cast<DllUnregisterServerFn>(GetProcAddress(m_module, "DllUnregisterServer"));
    m_canUnload = reinterpret_cast<DllCanUnloadNowFn>(GetProcAddress(m_module, "DllCanUnloadNow"));
    ASSERT_TRUE(m_register && m_unregister && m_canUnload && GetProcAddress(m_module, "DllGetClassObject"));
  }

  TemporaryRegistry m_registry;
  HMODULE m_module = nullptr;
  DllRegisterServerFn m_register = nullptr;
  DllUnregisterServerFn m_unregister = nullptr;
  DllCanUnloadNowFn m_canUnload = nullptr;
};

TEST_F(AmbrelModuleTest, RegisteredFilterIsCreatedByClassUntilUnregistered) {
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(m_register(), S_OK);
  EXPECT_NE(RegisteredModulePath(CLSID_Ambrel).find("Ambrel.ax"), std::string::npos);
  ASSERT_EQ(CoCreateInstance(CLSID_Ambrel, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf())), S_OK);

  LPWSTR vendor = nullptr;
  ASSERT_EQ(filter->QueryVendorInfo(&vendor), S_OK);
  EXPECT_EQ(Utf16ToUtf8(vendor), "1.2.0.0");
  CoTaskMemFree(vendor);
  ComPtr<IPin> in, out;
  EXPECT_EQ(filter->FindPin(u"In", in.GetAddressOf()), S_OK);
  EXPECT_EQ(filter->FindPin(u"Out", out.GetAddressOf()), S_OK);

  EXPECT_EQ(m_canUnload(), S_FALSE) << "a filter is alive";
  in.Reset();
  out.Reset();
  filter.Reset();
  EXPECT_EQ(m_canUnload(), S_OK);

  ASSERT_EQ(m_unregister(), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_Ambrel, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
}

// "FriendlyName,CLSID" of every catalogue entry of at least merit, taking inputType when given.
std::vector<std::string> Catalogue(DWORD merit, const GUID* inputType = nullptr) {
  ComPtr<IFilterMapper2> mapper;
  EXPECT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(mapper.GetAddressOf())),
            S_OK);
  std::vector<std::string> entries;
  if (!mapper) return entries;
  ComPtr<IEnumMoniker> found;
  EXPECT_EQ(mapper->EnumMatchingFilters(found.GetAddressOf(), 0, FALSE, merit, inputType != nullptr,
                                        inputType ? 1 : 0, inputType, nullptr, nullptr, FALSE, FALSE, 0, nullptr,
                                        nullptr, nullptr),
            S_OK);
  ComPtr<IMoniker> moniker;
  while (found && found->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(bag.GetAddressOf())))) continue;
    std::string entry;
    for (const char16_t* name : {u"FriendlyName", u"CLSID"}) {
      VARIANT value;
      VariantInit(&value);
      if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR) entry += BstrToUtf8(value.bstrVal);
      VariantClear(&value);
      if (name[0] == u'F') entry += ",";
    }
    entries.push_back(entry);
  }
  return entries;
}

bool Lists(const std::vector<std::string>& entries, const std::string& entry) {
  return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

// Ambrel is in the catalogue for hosts that look it up, but with no merit to speak of and no pins,
// so no query by media type ever finds it.
TEST_F(AmbrelModuleTest, CatalogueListsAmbrelOnlyAtTheLowestMeritAndNeverByType) {
  const std::string ambrel = "Orvanet Ambrel," + GuidToString(CLSID_Ambrel);
  const GUID ac3[2] = {MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3};
  const GUID anything[2] = {GUID_NULL, GUID_NULL};
  ASSERT_EQ(m_register(), S_OK);
  ASSERT_EQ(m_register(), S_OK) << "registering again is harmless";

  const struct {
    const char* label;
    DWORD merit;
    const GUID* inputType;
    bool listed;
  } cases[] = {
      {"every filter that may be used at all", MERIT_DO_NOT_USE, nullptr, true},
      {"filters graph building may pick", MERIT_DO_NOT_USE + 1, nullptr, false},
      {"filters taking AC3", MERIT_DO_NOT_USE, ac3, false},
      {"filters taking any type", MERIT_DO_NOT_USE, anything, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Lists(Catalogue(c.merit, c.inputType), ambrel), c.listed);
  }

  ASSERT_EQ(m_unregister(), S_OK);
  EXPECT_FALSE(Lists(Catalogue(0), ambrel));
  EXPECT_EQ(m_unregister(), S_OK) << "unregistering twice is harmless";
}

// Render of an AC3 pin towards a byte-stream sink: Ambrel would bridge the two, yet graph
// building leaves it alone until the host adds it itself.
TEST_F(AmbrelModuleTest, RenderUsesAmbrelOnlyWhenTheHostAddedIt) {
  ASSERT_EQ(m_register(), S_OK);
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(graph.GetAddressOf())), S_OK);
  const auto format = MakeWaveFormat(0x2000, 2, 48000, 0, 1, 0);
  CMediaType ac3;
  ac3.SetType(&MEDIATYPE_Audio);
  ac3.SetSubtype(&MEDIASUBTYPE_DOLBY_AC3);
  ac3.SetFormatType(&FORMAT_WaveFormatEx);
  ac3.SetFormat(format.data(), static_cast<ULONG>(format.size()));
  auto* sourceObject = new TestAudioSource(ac3, 2, 4096);
  auto* sinkObject = new MemoryByteSink();  // takes byte streams only
  ComPtr<IBaseFilter> source(sourceObject), sink(sinkObject);
  ASSERT_EQ(graph->AddFilter(source.Get(), u"source"), S_OK);
  ASSERT_EQ(graph->AddFilter(sink.Get(), u"sink"), S_OK);

  EXPECT_TRUE(FAILED(graph->Render(sourceObject->OutputPin())));
  ComPtr<IBaseFilter> found;
  EXPECT_EQ(graph->FindFilterByName(u"Orvanet Ambrel", found.GetAddressOf()), VFW_E_NOT_FOUND);
  ComPtr<IEnumFilters> filters;
  ASSERT_EQ(graph->EnumFilters(filters.GetAddressOf()), S_OK);
  ULONG count = 0;
  for (ComPtr<IBaseFilter> f; filters->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK;) ++count;
  EXPECT_EQ(count, 2u) << "nothing was left behind in the graph";

  // Added by class identifier, as the converter does, it carries the audio to the sink.
  ComPtr<IBaseFilter> ambrel;
  ASSERT_EQ(CoCreateInstance(CLSID_Ambrel, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(ambrel.GetAddressOf())), S_OK);
  ASSERT_EQ(graph->AddFilter(ambrel.Get(), u"Ambrel"), S_OK);
  EXPECT_EQ(graph->Render(sourceObject->OutputPin()), S_OK);
  ComPtr<IPin> out, peer;
  ASSERT_EQ(ambrel->FindPin(u"Out", out.GetAddressOf()), S_OK);
  ASSERT_EQ(out->ConnectedTo(peer.GetAddressOf()), S_OK);
  EXPECT_EQ(peer.Get(), sinkObject->InputPin());

  for (IBaseFilter* f : {source.Get(), ambrel.Get(), sink.Get()}) graph->RemoveFilter(f);
}

}  // namespace
