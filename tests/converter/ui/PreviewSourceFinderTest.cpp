// Finding the preview's source in the Running Object Table by its display name: entries made
// here by hand for the name rules, and a real Flumetta connected in a graph.
#include "converter/ui/PreviewSourceFinder.h"

#include <gtest/gtest.h>

#include "CatalogueTestSupport.h"
#include "FakeSeeking.h"
#include "converter/ui/CMarkPane.h"
#include "platform/com/activation.h"
#include "platform/com/moniker.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/Guids.h"
#include "platform/win/system.h"
#include "shared/ClassIds.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace {

// An object in the table that is not a seeking source.
class PlainObject final : public ComObject<IPersist> {
 public:
  STDMETHODIMP GetClassID(CLSID* id) override {
    *id = GUID_NULL;
    return S_OK;
  }
};

// Registers object under "!" + item for the life of the entry.
class RunningEntry {
 public:
  RunningEntry(IUnknown* object, const std::string& item) {
    GetRunningObjectTable(0, m_table.GetAddressOf());
    ComPtr<IMoniker> moniker;
    const std::u16string wide = Utf8ToUtf16(item);
    CreateItemMoniker(u"!", wide.c_str(), moniker.GetAddressOf());
    m_table->Register(0, object, moniker.Get(), &m_cookie);
  }
  ~RunningEntry() { m_table->Revoke(m_cookie); }
  RunningEntry(const RunningEntry&) = delete;
  RunningEntry& operator=(const RunningEntry&) = delete;

 private:
  ComPtr<IRunningObjectTable> m_table;
  DWORD m_cookie = 0;
};

TEST(PreviewSourceFinderTest, NameIsMatchedExactly) {
  const DWORD pid = GetCurrentProcessId();
  EXPECT_EQ(PreviewSourceDisplayName("/rec/a.ts", 0x2a), "!Flumetta:/rec/a.ts pid 0000002a");

  ComPtr<FakeSeeking> source;
  source.Attach(new FakeSeeking(600, 0));
  char pidText[16];
  std::snprintf(pidText, sizeof pidText, "%08x", static_cast<unsigned>(pid));
  RunningEntry entry(source.Get(), std::string("Flumetta:/rec/a.ts pid ") + pidText);

  struct Case {
    const char* file;
    DWORD pid;
    bool found;
  };
  const Case cases[] = {
      {"/rec/a.ts", pid, true},
      {"/rec/A.ts", pid, false},  // file names here are case-sensitive
      {"/rec/a.t", pid, false},
      {"/rec/a.ts", pid + 1, false},  // another converter's preview
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.pid));
    ComPtr<IMediaSeeking> seeking;
    EXPECT_EQ(FindPreviewSeeking(c.file, c.pid, seeking.GetAddressOf()), c.found ? S_OK : S_FALSE);
    EXPECT_EQ(seeking.Get() == source.Get(), c.found);
  }
  EXPECT_EQ(FindPreviewSeeking("/rec/a.ts", pid, nullptr), E_POINTER);
}

TEST(PreviewSourceFinderTest, AnEntryWithoutSeekingIsPassedOver) {
  ComPtr<PlainObject> plain;
  plain.Attach(new PlainObject);
  ComPtr<FakeSeeking> source;
  source.Attach(new FakeSeeking(600, 0));
  const std::string item = PreviewSourceDisplayName("/rec/b.ts", 7).substr(1);
  RunningEntry other(source.Get(), PreviewSourceDisplayName("/rec/c.ts", 7).substr(1));
  {
    RunningEntry first(plain.Get(), item);
    ComPtr<IMediaSeeking> seeking;
    EXPECT_EQ(FindPreviewSeeking("/rec/b.ts", 7, seeking.GetAddressOf()), S_FALSE);
    EXPECT_EQ(seeking.Get(), nullptr);
  }
  RunningEntry second(source.Get(), item);
  ComPtr<IMediaSeeking> seeking;
  EXPECT_EQ(FindPreviewSeeking("/rec/b.ts", 7, seeking.GetAddressOf()), S_OK);
  EXPECT_EQ(seeking.Get(), source.Get());
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  filter->EnumPins(pins.GetAddressOf());
  ComPtr<IPin> pin;
  while (pins && pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_DIRECTION d;
    if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction) return pin;
  }
  return nullptr;
}

TEST(PreviewSourceFinderTest, SourcesPanelSteersARealPreviewSource) {
  TemporaryRegistry registry;
  ASSERT_EQ(cataloguetest::RegisterModule("Flumetta.ax"), S_OK);
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(graph.GetAddressOf())), S_OK);
  ComPtr<IBaseFilter> source, demux;
  ASSERT_EQ(CoCreateInstance(CLSID_Flumetta, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(source.GetAddressOf())), S_OK);
  ASSERT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf())),
            S_OK);
  ASSERT_EQ(graph->AddFilter(source.Get(), u"Flumetta"), S_OK);
  ASSERT_EQ(graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer"), S_OK);
  ComPtr<IFileSourceFilter> file;
  ASSERT_EQ(source.As(&file), S_OK);
  ASSERT_EQ(file->Load(Utf8ToUtf16(SAMPLE_TS).c_str(), nullptr), S_OK);

  {
    CMarkPane unconnected(SAMPLE_TS, 0, 0);
    unconnected.OnInitDialog(GetCurrentProcessId());
    EXPECT_EQ(unconnected.Seeking(), nullptr) << "the source enters the table once its output is connected";
  }
  ASSERT_EQ(graph->ConnectDirect(FirstPin(source.Get(), PINDIR_OUTPUT).Get(), FirstPin(demux.Get(), PINDIR_INPUT).Get(),
                                 nullptr),
            S_OK);
  {
    CMarkPane pane(SAMPLE_TS, 0, 0);
    pane.OnInitDialog(GetCurrentProcessId());
    ASSERT_NE(pane.Seeking(), nullptr);
    ComPtr<IMediaSeeking> direct;
    ASSERT_EQ(source.As(&direct), S_OK);
    LONGLONG duration = 0;
    ASSERT_EQ(direct->GetDuration(&duration), S_OK);
    EXPECT_EQ(pane.Editor().DurationMilliseconds(), duration / 10'000);
    EXPECT_EQ(pane.Editor().Slider().rangeMax, duration / 10'000'000);

    ASSERT_TRUE(pane.Editor().OnFieldTextChanged(MarkEditor::IDC_IN_SECONDS, "05"));
    pane.Editor().OnButton(MarkEditor::IDC_GOTO_MARK_IN);
    LONGLONG current = 0, stop = 0;
    ASSERT_EQ(direct->GetPositions(&current, &stop), S_OK);
    EXPECT_EQ(current, 2000 * 10'000LL) << "five seconds less the lead";
  }
  graph->Disconnect(FirstPin(source.Get(), PINDIR_OUTPUT).Get());
  graph->Disconnect(FirstPin(demux.Get(), PINDIR_INPUT).Get());
  graph->RemoveFilter(source.Get());
  graph->RemoveFilter(demux.Get());
}

}  // namespace
