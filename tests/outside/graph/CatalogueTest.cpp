// The multiplexer and AC3 analyzer modules in the filter catalogue: registered as the regsvr tool
// does, listed by the converter's queries, created from the catalogue, and gone after
// unregistering.
#include <gtest/gtest.h>

#include <algorithm>

#include "outside/muxer/IMultiplexerConfig.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/dshow/Guids.h"
#include "platform/dshow/Interfaces.h"
#include "tests/outside/TestFilters.h"
#include "tests/outside/graph/ModuleRegistration.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace outsidetest {
namespace {

constexpr char kMultiplexerSpec[] = "PS/TS Multiplexer,{FABBE789-E9E3-47AB-8F03-BF066AA36699}";
constexpr char kAnalyzerSpec[] = "AC3 Frame Analyzer,{C944FCA1-873A-48E6-BCB3-667AF021B5A2}";
constexpr CLSID kMultiplexer = MakeGuid("{FABBE789-E9E3-47AB-8F03-BF066AA36699}");
constexpr CLSID kAnalyzer = MakeGuid("{C944FCA1-873A-48E6-BCB3-667AF021B5A2}");

bool Contains(const std::vector<std::string>& list, const std::string& spec) {
  return std::find(list.begin(), list.end(), spec) != list.end();
}

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegisterModule("PsTsMultiplexer.ax"), S_OK);
    ASSERT_EQ(RegisterModule("Ac3Analyzer.ax"), S_OK);
  }
  TemporaryRegistry m_registry;
};

TEST_F(CatalogueTest, ConverterQueriesFindTheMultiplexerAndOfferTheAnalyzer) {
  EXPECT_EQ(AutoMultiplexer(), kMultiplexerSpec);

  struct Query {
    GUID major, minor;
    bool exclusion;
    bool multiplexerListed, analyzerListed;
  };
  const Query queries[] = {
      {MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, false, true, false},
      {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO, false, true, false},
      // The AC3 list leaves out multiplexers by name.
      {MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, true, false, true},
      {MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, false, true, true},
      // Exact match: a type neither takes lists neither.
      {MEDIATYPE_Audio, MEDIASUBTYPE_PCM, false, false, false},
  };
  for (const Query& q : queries) {
    SCOPED_TRACE(GuidToString(q.minor) + (q.exclusion ? " with exclusion" : ""));
    const auto list = InputFilters(q.major, q.minor, q.exclusion);
    EXPECT_EQ(Contains(list, kMultiplexerSpec), q.multiplexerListed);
    EXPECT_EQ(Contains(list, kAnalyzerSpec), q.analyzerListed);
  }
}

TEST_F(CatalogueTest, FiltersCreatedFromTheCatalogueConnectAndTakeTheConverterSettings) {
  ComPtr<IBaseFilter> mux, analyzer;
  ASSERT_EQ(CoCreateInstance(kMultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(mux.GetAddressOf())), S_OK);
  ASSERT_EQ(CoCreateInstance(kAnalyzer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(analyzer.GetAddressOf())), S_OK);

  ComPtr<outside::IMultiplexerConfig> config;
  ASSERT_EQ(mux.As(&config), S_OK);
  EXPECT_EQ(config->SetOutputFormat(outside::kMuxTransportStream), S_OK);

  // A source with AC3 and MPEG-2 video, the AC3 through the analyzer, both into the multiplexer.
  auto* source = new TestPushSource({MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3),
                                     MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO)});
  ComPtr<IBaseFilter> sourceFilter;
  sourceFilter.Attach(source);
  ComPtr<IPin> analyzerIn, analyzerOut, muxIn1, muxIn2, muxOut;
  analyzerIn.Attach(FindPinByName(analyzer.Get(), u"In"));
  analyzerOut.Attach(FindPinByName(analyzer.Get(), u"Out"));
  muxIn1.Attach(FindPinByName(mux.Get(), u"Input 1"));
  muxOut.Attach(FindPinByName(mux.Get(), u"Output"));
  ASSERT_TRUE(analyzerIn && analyzerOut && muxIn1 && muxOut);
  EXPECT_EQ(source->Pin(0)->Connect(analyzerIn.Get(), nullptr), S_OK);
  EXPECT_EQ(analyzerOut->Connect(muxIn1.Get(), nullptr), S_OK);
  muxIn2.Attach(FindPinByName(mux.Get(), u"Input 2"));  // appears once the first input is taken
  ASSERT_TRUE(muxIn2);
  EXPECT_EQ(source->Pin(1)->Connect(muxIn2.Get(), nullptr), S_OK);

  DisconnectBoth(source->Pin(0));
  DisconnectBoth(source->Pin(1));
  DisconnectBoth(analyzerOut.Get());
}

TEST_F(CatalogueTest, UnregisteringRemovesClassAndCatalogueEntry) {
  ASSERT_EQ(RegisterModule("PsTsMultiplexer.ax", false), S_OK);
  ASSERT_EQ(RegisterModule("Ac3Analyzer.ax", false), S_OK);
  EXPECT_EQ(AutoMultiplexer(), "");
  EXPECT_FALSE(Contains(InputFilters(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, true), kAnalyzerSpec));
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(CoCreateInstance(kMultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(kAnalyzer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
}

}  // namespace
}  // namespace outsidetest
