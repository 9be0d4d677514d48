// The Options sheet over a temporary registry: the candidate lists of the filter pages, what OK
// stores and when it says the folder changed, and the Filters page over a real graph.
#include "converter/ui/COptionsSheet.h"

#include <gtest/gtest.h>

#include "CatalogueTestSupport.h"
#include "platform/com/activation.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/Guids.h"
#include "platform/registry/registry.h"
#include "shared/ClassIds.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace {

using cataloguetest::RegisterCatalogueEntry;
constexpr DWORD kNormal = 0x600000;
const cataloguetest::TypePair kVideo{MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO};
const cataloguetest::TypePair kAudio{MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO};
const cataloguetest::TypePair kAc3{MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3};

constexpr char kZeta[] = "{0000000A-0000-0000-0000-000000000001}";
constexpr char kAlpha[] = "{0000000A-0000-0000-0000-000000000002}";

std::vector<std::string> Shown(const CFilterChoicePage& page) {
  std::vector<std::string> shown;
  for (const FilterChoiceEntry& entry : page.Entries()) shown.push_back(entry.shown);
  return shown;
}

class OptionsSheetTest : public ::testing::Test {
 protected:
  void RegisterMultiplexers() {
    ASSERT_EQ(RegisterCatalogueEntry(kZeta, "Zeta Mux", kNormal, {kVideo, kAudio}), S_OK);
    ASSERT_EQ(RegisterCatalogueEntry(kAlpha, "alpha Mux", kNormal, {kVideo, kAudio}), S_OK);
    ASSERT_EQ(RegistryWriteString(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kAlpha + "\\InprocServer32", "",
                                  "/opt/filters/alpha.ax"),
              ERROR_SUCCESS);
  }
  TemporaryRegistry m_registry;
};

TEST_F(OptionsSheetTest, MultiplexerPageListsSortedCandidatesAndFindsTheStoredOne) {
  RegisterMultiplexers();
  ASSERT_EQ(RegisterCatalogueEntry("{0000000A-0000-0000-0000-000000000003}", "Video Only", kNormal, {kVideo}), S_OK);
  CMuxerPage page(std::string("ALPHA MUX,") + kAlpha);  // stored in another case
  page.OnInitDialog();
  EXPECT_EQ(Shown(page), (std::vector<std::string>{"<Auto>", "alpha Mux", "Zeta Mux"}));
  EXPECT_EQ(page.Entries()[1].classText, kAlpha);
  EXPECT_EQ(page.SelectedIndex(), 1);
  EXPECT_EQ(page.SelectedFilterText(), "/opt/filters/alpha.ax");
  EXPECT_TRUE(page.IsModified());
  EXPECT_EQ(page.SelectionText(), std::string("alpha Mux,") + kAlpha);

  page.OnSelectionChanged(2);
  EXPECT_EQ(page.SelectedFilterText(), "") << "a class without InprocServer32";
  EXPECT_EQ(page.SelectionText(), std::string("Zeta Mux,") + kZeta);
  page.OnSelectionChanged(0);
  EXPECT_EQ(page.SelectedFilterText(), "<Auto>");
  EXPECT_EQ(page.SelectionText(), "");
}

TEST_F(OptionsSheetTest, ChoicePagesWithoutCandidates) {
  struct Case {
    const char* what;
    bool videoOnly, audioOnly;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {"nothing installed", false, false, {}},
      {"one query finds nothing", true, false, {}},
      {"no filter takes both", true, true, {"<Auto>"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TemporaryRegistry registry;
    if (c.videoOnly) {
      ASSERT_EQ(RegisterCatalogueEntry("{0000000B-0000-0000-0000-000000000001}", "V", kNormal, {kVideo}), S_OK);
    }
    if (c.audioOnly) {
      ASSERT_EQ(RegisterCatalogueEntry("{0000000B-0000-0000-0000-000000000002}", "A", kNormal, {kAudio}), S_OK);
    }
    CMuxerPage page("Gone Mux,{0000000B-0000-0000-0000-0000000000FF}");
    EXPECT_EQ(page.SelectionText(), "Gone Mux,{0000000B-0000-0000-0000-0000000000FF}") << "not opened: kept";
    page.OnInitDialog();
    EXPECT_EQ(Shown(page), c.shown);
    EXPECT_EQ(page.SelectedFilterText(), "<Auto>");
    EXPECT_EQ(page.SelectionText(), "") << "an opened page without the stored filter stores automatic";
  }
}

TEST_F(OptionsSheetTest, Ac3PageOffersNoMultiplexersAndNoDecoderNamedAc3Filter) {
  ASSERT_EQ(RegisterCatalogueEntry("{0000000C-0000-0000-0000-000000000001}", "AC3Filter", kNormal, {kAc3}), S_OK);
  ASSERT_EQ(RegisterCatalogueEntry("{0000000C-0000-0000-0000-000000000002}", "Acme Muxer", kNormal, {kAc3}), S_OK);
  ASSERT_EQ(RegisterCatalogueEntry("{0000000C-0000-0000-0000-000000000003}", "Acme AC3 Parser", kNormal, {kAc3}), S_OK);
  CAC3Page page("");
  page.OnInitDialog();
  EXPECT_EQ(Shown(page), (std::vector<std::string>{"<Auto>", "Acme AC3 Parser"}));
  EXPECT_EQ(page.SelectedIndex(), 0);
}

TEST_F(OptionsSheetTest, OkStoresThePagesAndTellsWhetherTheFolderChanged) {
  RegisterMultiplexers();
  struct Case {
    const char* what;
    std::string folder;        // typed into the Output page ("" = left alone)
    int multiplexerChoice;     // -1: Multiplexer page not shown
    bool folderChanged;
    std::string storedMuxer;
  };
  const std::string stored = std::string("Zeta Mux,") + kZeta;
  const Case cases[] = {
      {"only the multiplexer", "", 1, false, std::string("alpha Mux,") + kAlpha},
      {"folder typed", "/srv/out", -1, true, stored},
      {"same folder typed again", "/srv/rec", -1, false, stored},
      {"folder differs in case", "/srv/REC", 0, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CSfxOption options("");
    options.m_outputPath = "/srv/rec";
    options.m_muxerFilter = stored;
    options.m_ac3Filter = "Gone Analyzer,{0000000C-0000-0000-0000-0000000000FF}";
    COptionsSheet sheet(options, nullptr);
    sheet.Open();
    EXPECT_TRUE(sheet.WasShown(COptionsSheet::kOutputPage));
    EXPECT_EQ(sheet.OutputPage().Folder(), "/srv/rec");
    if (!c.folder.empty()) {
      sheet.OutputPage().OnRadio(COutputPage::IDC_FIXED_FOLDER);
      sheet.OutputPage().OnFolderEdited(c.folder);
    }
    if (c.multiplexerChoice >= 0) {
      sheet.ShowPage(COptionsSheet::kMultiplexerPage);
      sheet.MultiplexerPage().OnSelectionChanged(c.multiplexerChoice);
    }
    EXPECT_EQ(sheet.OnOK().folderChanged, c.folderChanged);
    EXPECT_EQ(options.m_outputPath, c.folder.empty() ? "/srv/rec" : c.folder);
    EXPECT_EQ(options.m_outputType, c.folder.empty() ? 0 : 1);
    EXPECT_EQ(options.m_muxerFilter, c.storedMuxer);
    EXPECT_EQ(options.m_ac3Filter, "Gone Analyzer,{0000000C-0000-0000-0000-0000000000FF}")
        << "a page never shown keeps its value";
  }
}

TEST_F(OptionsSheetTest, FiltersPageListsTheGraphNewestFirstAndOpensProperties) {
  ASSERT_EQ(cataloguetest::RegisterModule("Flumetta.ax"), S_OK);
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(graph.GetAddressOf())), S_OK);
  ComPtr<IBaseFilter> source, tee, demux;
  ASSERT_EQ(CoCreateInstance(CLSID_Flumetta, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(source.GetAddressOf())), S_OK);
  ASSERT_EQ(CoCreateInstance(CLSID_InfTee, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(tee.GetAddressOf())), S_OK);
  ASSERT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf())),
            S_OK);
  ASSERT_EQ(graph->AddFilter(source.Get(), u"Flumetta"), S_OK);
  ASSERT_EQ(graph->AddFilter(tee.Get(), u"Smart Tee"), S_OK);
  ASSERT_EQ(graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer"), S_OK);

  CSfxOption options("");
  COptionsSheet sheet(options, graph.Get());
  sheet.Open();
  sheet.ShowPage(COptionsSheet::kFiltersPage);
  CFilterPage& page = sheet.FiltersPage();
  ASSERT_EQ(page.Lines(), (std::vector<std::string>{"MPEG-2 Demultiplexer", "Flumetta"}));

  std::vector<std::pair<std::string, ULONG>> frames;
  const CFilterPage::PropertyFrame frame = [&](IBaseFilter* filter, const std::string& caption, const CAUUID& pages) {
    EXPECT_EQ(filter, source.Get());
    frames.emplace_back(caption, pages.cElems);
  };
  EXPECT_FALSE(page.OnProperties(frame)) << "nothing selected";
  page.Select(1);
  EXPECT_FALSE(page.OnProperties(nullptr)) << "no frame to open";
  EXPECT_TRUE(page.OnProperties(frame));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].first, "Flumetta");
  EXPECT_GT(frames[0].second, 0u);
  page.Select(0);
  EXPECT_FALSE(page.OnProperties(frame)) << "the demultiplexer has no property pages";

  CFilterPage withoutGraph(nullptr);
  withoutGraph.OnInitDialog();
  EXPECT_TRUE(withoutGraph.Lines().empty());
  for (IBaseFilter* filter : {source.Get(), tee.Get(), demux.Get()}) graph->RemoveFilter(filter);
}

}  // namespace
