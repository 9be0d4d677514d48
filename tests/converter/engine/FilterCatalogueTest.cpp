// The converter's catalogue queries over a temporary registry: the real multiplexer and AC3
// analyzer modules from the build folder, and registrations shaped to test the name exclusion,
// the catalogue order and the automatic choice.
#include "converter/engine/FilterCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "CatalogueTestSupport.h"
#include "platform/dshow/Guids.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace {

using cataloguetest::RegisterCatalogueEntry;
using cataloguetest::RegisterModule;

constexpr char kMultiplexerSpec[] = "PS/TS Multiplexer,{FABBE789-E9E3-47AB-8F03-BF066AA36699}";
constexpr char kAnalyzerSpec[] = "AC3 Frame Analyzer,{C944FCA1-873A-48E6-BCB3-667AF021B5A2}";
constexpr DWORD kNormal = 0x600000;
constexpr DWORD kUnlikely = 0x400000;

const cataloguetest::TypePair kMpeg2Video{MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO};
const cataloguetest::TypePair kMpeg2Audio{MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO};
const cataloguetest::TypePair kAc3{MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3};

bool Contains(const std::vector<std::string>& list, const std::string& text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

std::vector<std::string> Ac3List(bool exclusion) {
  std::vector<std::string> list;
  EnumerateInputFilters(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, exclusion, list);
  return list;
}

class FilterCatalogueTest : public ::testing::Test {
 protected:
  TemporaryRegistry m_registry;
};

TEST_F(FilterCatalogueTest, InstalledModulesServeAsMultiplexerAndAnalyzer) {
  ASSERT_EQ(RegisterModule("PsTsMultiplexer.ax"), S_OK);
  ASSERT_EQ(RegisterModule("Ac3Analyzer.ax"), S_OK);

  EXPECT_EQ(AutomaticMultiplexer(), kMultiplexerSpec);
  const auto analyzers = Ac3AnalyzerCandidates();
  EXPECT_TRUE(Contains(analyzers, kAnalyzerSpec));
  EXPECT_FALSE(Contains(analyzers, kMultiplexerSpec)) << "a multiplexer takes AC3 but is no analyzer";
  EXPECT_TRUE(Contains(Ac3List(false), kMultiplexerSpec));

  const std::string module = FindFilterModule(FilterSpecClass(kMultiplexerSpec));
  EXPECT_NE(module.find("PsTsMultiplexer.ax"), std::string::npos) << module;
}

TEST_F(FilterCatalogueTest, AnalyzerListLeavesOutMultiplexersAndAc3FilterByName) {
  struct Entry {
    const char* clsid;
    const char* name;
    bool offeredAsAnalyzer;
  };
  const Entry entries[] = {
      {"{00000001-0000-0000-0000-000000000001}", "AC3Filter", false},
      {"{00000001-0000-0000-0000-000000000002}", "Acme DVD Muxer", false},
      {"{00000001-0000-0000-0000-000000000003}", "Acme Multiplexer", false},
      {"{00000001-0000-0000-0000-000000000004}", "Acme Ac3filter", true},  // the tests are case-sensitive
      {"{00000001-0000-0000-0000-000000000005}", "Acme AC3 Parser", true},
  };
  for (const Entry& e : entries) ASSERT_EQ(RegisterCatalogueEntry(e.clsid, e.name, kNormal, {kAc3}), S_OK);

  const auto withExclusion = Ac3List(true);
  const auto withoutExclusion = Ac3List(false);
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.name);
    const std::string spec = std::string(e.name) + "," + e.clsid;
    EXPECT_EQ(Contains(withExclusion, spec), e.offeredAsAnalyzer);
    EXPECT_TRUE(Contains(withoutExclusion, spec));
  }
}

TEST_F(FilterCatalogueTest, AutomaticChoiceTakesTheLastMultiplexerOfTheVideoList) {
  // Higher merit lists first, so the second multiplexer is the later one in both queries.
  ASSERT_EQ(RegisterCatalogueEntry("{00000002-0000-0000-0000-000000000001}", "First Mux", kNormal,
                                   {kMpeg2Video, kMpeg2Audio}),
            S_OK);
  ASSERT_EQ(RegisterCatalogueEntry("{00000002-0000-0000-0000-000000000002}", "Second Mux", kUnlikely,
                                   {kMpeg2Video, kMpeg2Audio}),
            S_OK);
  // Takes both types but has no output: no multiplexer.
  ASSERT_EQ(RegisterCatalogueEntry("{00000002-0000-0000-0000-000000000003}", "Renderer", 0x300000,
                                   {kMpeg2Video, kMpeg2Audio}, false),
            S_OK);
  // Video only: not in the audio list.
  ASSERT_EQ(RegisterCatalogueEntry("{00000002-0000-0000-0000-000000000004}", "Video Only", 0x300000, {kMpeg2Video}),
            S_OK);

  bool both = false;
  const auto candidates = MultiplexerCandidates(&both);
  EXPECT_TRUE(both);
  EXPECT_EQ(candidates, (std::vector<std::string>{"First Mux,{00000002-0000-0000-0000-000000000001}",
                                                  "Second Mux,{00000002-0000-0000-0000-000000000002}"}));
  EXPECT_EQ(AutomaticMultiplexer(), "Second Mux,{00000002-0000-0000-0000-000000000002}");
  EXPECT_EQ(MultiplexerInUse(""), "Second Mux,{00000002-0000-0000-0000-000000000002}");
}

TEST_F(FilterCatalogueTest, NoMultiplexerWhenOneQueryFindsNothingOrNothingMatches) {
  bool both = true;
  EXPECT_TRUE(MultiplexerCandidates(&both).empty());
  EXPECT_FALSE(both);
  EXPECT_EQ(AutomaticMultiplexer(), "");

  ASSERT_EQ(RegisterCatalogueEntry("{00000003-0000-0000-0000-000000000001}", "Audio Only", kNormal, {kMpeg2Audio}),
            S_OK);
  EXPECT_TRUE(MultiplexerCandidates(&both).empty());
  ASSERT_EQ(RegisterCatalogueEntry("{00000003-0000-0000-0000-000000000002}", "Video Only", kNormal, {kMpeg2Video}),
            S_OK);
  EXPECT_TRUE(MultiplexerCandidates(&both).empty());
  EXPECT_TRUE(both) << "each query found a filter, but none takes both";
  EXPECT_EQ(MultiplexerInUse(""), "");
}

TEST_F(FilterCatalogueTest, EntryWithoutClassIdStillGivesASpec) {
  const char* clsid = "{00000005-0000-0000-0000-000000000001}";
  ASSERT_EQ(RegisterCatalogueEntry(clsid, "Nameless Analyzer", kNormal, {kAc3}), S_OK);
  const std::string instance = std::string("CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\") + clsid;
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, instance.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValue(key, "CLSID"), ERROR_SUCCESS);
  RegCloseKey(key);

  std::vector<std::string> list{"kept"};
  const int count = EnumerateInputFilters(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, true, list);
  EXPECT_EQ(count, static_cast<int>(list.size()));
  EXPECT_EQ(list.front(), "kept") << "the list is appended to";
  EXPECT_TRUE(Contains(list, "Nameless Analyzer,"));
}

TEST_F(FilterCatalogueTest, FilterModuleIsEmptyWithoutInprocServer) {
  ASSERT_EQ(RegisterCatalogueEntry("{00000006-0000-0000-0000-000000000001}", "Listed Only", kNormal, {kAc3}), S_OK);
  EXPECT_EQ(FindFilterModule("{00000006-0000-0000-0000-000000000001}"), "");
  EXPECT_EQ(FindFilterModule(""), "");
  ASSERT_EQ(RegistryWriteString(HKEY_CLASSES_ROOT, "CLSID\\{00000006-0000-0000-0000-000000000001}\\InprocServer32", "",
                                "/opt/filters/listed.ax"),
            ERROR_SUCCESS);
  EXPECT_EQ(FindFilterModule("{00000006-0000-0000-0000-000000000001}"), "/opt/filters/listed.ax");
}

TEST(FilterSpecTest, NameIsBeforeTheFirstCommaAndClassAfterIt) {
  struct Case {
    const char* spec;
    const char* name;
    const char* clsid;
    bool automatic;
  };
  const Case cases[] = {
      {"Mux,{AFB6C280-2C41-11D3-8A60-0000F81E0E4A}", "Mux", "{AFB6C280-2C41-11D3-8A60-0000F81E0E4A}", false},
      {"A, B,{1}", "A", " B,{1}", false},
      {"Nameless,", "Nameless", "", false},
      {"No comma", "No comma", "", false},
      {"", "", "", true},
      {"<Auto>", "<Auto>", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec);
    EXPECT_EQ(FilterSpecName(c.spec), c.name);
    EXPECT_EQ(FilterSpecClass(c.spec), c.clsid);
    EXPECT_EQ(IsAutomaticFilterSpec(c.spec), c.automatic);
  }
}

}  // namespace
