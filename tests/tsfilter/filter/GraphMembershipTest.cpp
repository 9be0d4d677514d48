// The filter as a member of a graph: the settings it reads when it joins, the two running object
// table entries with their names, the vendor info with its side effects, and the other vendor's
// demultiplexer, which this platform cannot create.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/moniker.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/Guids.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tsfilter/filter/TsSourceFilter.h"
#include "tsfilter/services/SettingsStore.h"

namespace tsfilter {
namespace {

struct RunningEntry {
  std::string name;
  ComPtr<IUnknown> object;
};

std::vector<RunningEntry> RunningEntries() {
  std::vector<RunningEntry> entries;
  ComPtr<IRunningObjectTable> table;
  EXPECT_EQ(GetRunningObjectTable(0, table.GetAddressOf()), S_OK);
  ComPtr<IEnumMoniker> monikers;
  EXPECT_EQ(table->EnumRunning(monikers.GetAddressOf()), S_OK);
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    LPOLESTR name = nullptr;
    moniker->GetDisplayName(nullptr, nullptr, &name);
    RunningEntry entry{Utf16ToUtf8(name), nullptr};
    CoTaskMemFree(name);
    table->GetObject(moniker.Get(), entry.object.GetAddressOf());
    entries.push_back(std::move(entry));
  }
  return entries;
}

// The entries whose name begins with `prefix`.
std::vector<RunningEntry> EntriesStartingWith(const std::string& prefix) {
  std::vector<RunningEntry> found;
  for (RunningEntry& entry : RunningEntries())
    if (entry.name.rfind(prefix, 0) == 0) found.push_back(std::move(entry));
  return found;
}

ComPtr<IUnknown> Identity(IUnknown* object) {
  ComPtr<IUnknown> identity;
  if (object) object->QueryInterface(IID_PPV_ARGS(identity.GetAddressOf()));
  return identity;
}

std::string ProcessIdText() {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(::getpid()));
  return text;
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

int FilterCount(IGraphBuilder* graph) {
  ComPtr<IEnumFilters> filters;
  graph->EnumFilters(filters.GetAddressOf());
  ComPtr<IBaseFilter> filter;
  int count = 0;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) ++count;
  return count;
}

class GraphMembershipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_graph.GetAddressOf())),
              S_OK);
    ASSERT_EQ(TsSourceFilter::CreateInstance(nullptr, IID_PPV_ARGS(m_info.GetAddressOf())), S_OK);
    ASSERT_EQ(m_info.As(&m_filter), S_OK);
  }
  TsSourceFilter& Filter() { return *static_cast<TsSourceFilter*>(m_info.Get()); }
  void Store(const char* name, DWORD value) { RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, name, value); }

  TemporaryRegistry m_registry;
  ComPtr<IGraphBuilder> m_graph;
  ComPtr<ITsSourceInfo> m_info;
  ComPtr<IBaseFilter> m_filter;
};

TEST_F(GraphMembershipTest, JoiningReadsTheSettingsAndIgnoresTheDemultiplexerItCannotCreate) {
  Store("AC3", 0);
  Store("Audio2", 5);
  Store("PCRClock", 1);
  Store("FastSeeking", 0);
  Store("PrefDemux", 2);  // asks for the other vendor's demultiplexer, which is not on this platform
  ASSERT_EQ(m_graph->AddFilter(m_filter.Get(), u"Flumetta"), S_OK);
  const FilterSettings& settings = Filter().Analysis().settings;
  EXPECT_EQ(settings.ac3, 0u);
  EXPECT_EQ(settings.audio2, 1u);
  EXPECT_EQ(settings.pcrClock, 1u);
  EXPECT_EQ(settings.fastSeeking, 0u);
  EXPECT_EQ(settings.detLength, 1u);  // not stored: the default
  EXPECT_EQ(settings.prefDemux, 2u);
  EXPECT_EQ(FilterCount(m_graph.Get()), 1);
  EXPECT_TRUE(EntriesStartingWith("!FilterGraph ").empty());  // AllowGraphEdit is off

  // The creation failure left nothing behind: connecting configures the demultiplexer as usual.
  ComPtr<IFileSourceFilter> file;
  ASSERT_EQ(m_filter.As(&file), S_OK);
  ASSERT_EQ(file->Load(Utf8ToUtf16(SAMPLE_TS).c_str(), nullptr), S_OK);
  ComPtr<IBaseFilter> demux;
  ASSERT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf())),
            S_OK);
  ASSERT_EQ(m_graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer"), S_OK);
  ComPtr<IPin> out = FirstPin(m_filter.Get(), PINDIR_OUTPUT);
  ASSERT_EQ(m_graph->ConnectDirect(out.Get(), FirstPin(demux.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
  ComPtr<IPin> video;
  EXPECT_EQ(demux->FindPin(u"Video", video.GetAddressOf()), S_OK);
  m_graph->RemoveFilter(m_filter.Get());
  m_graph->RemoveFilter(demux.Get());
}

TEST_F(GraphMembershipTest, TheGraphEntryLivesFromJoiningUntilVendorInfoOrLeaving) {
  struct Case {
    DWORD allowGraphEdit;
    bool endWithVendorInfo;
  };
  for (const Case c : {Case{1, true}, Case{1, false}, Case{0, true}}) {
    SCOPED_TRACE(testing::Message() << "AllowGraphEdit " << c.allowGraphEdit << ", vendor info " << c.endWithVendorInfo);
    Store("AllowGraphEdit", c.allowGraphEdit);
    Store("PCRClock", 1);
    ASSERT_EQ(m_graph->AddFilter(m_filter.Get(), u"Flumetta"), S_OK);
    std::vector<RunningEntry> entries = EntriesStartingWith("!FilterGraph ");
    if (c.allowGraphEdit) {
      ASSERT_EQ(entries.size(), 1u);
      // "FilterGraph %08x pid %08x": the graph's address, then the process id.
      const std::string& name = entries[0].name;
      ASSERT_EQ(name.size(), std::string("!FilterGraph 12345678 pid 12345678").size()) << name;
      EXPECT_EQ(name.substr(21, 5), " pid ") << name;
      EXPECT_EQ(name.substr(26), ProcessIdText()) << name;
      EXPECT_EQ(name.substr(13, 8).find_first_not_of("0123456789abcdef"), std::string::npos) << name;
      EXPECT_EQ(Identity(entries[0].object.Get()).Get(), Identity(m_graph.Get()).Get());
    } else {
      EXPECT_TRUE(entries.empty());
    }
    entries.clear();

    if (c.endWithVendorInfo) {
      LPWSTR vendor = nullptr;
      ASSERT_EQ(m_filter->QueryVendorInfo(&vendor), S_OK);
      EXPECT_EQ(Utf16ToUtf8(vendor), "1.2.0.0");
      CoTaskMemFree(vendor);
      EXPECT_EQ(Filter().Analysis().settings.pcrClock, 0u);  // this instance only
      DWORD stored = 0;
      ASSERT_TRUE(RegistryReadDword(HKEY_CURRENT_USER, kSettingsKey, "PCRClock", &stored));
      EXPECT_EQ(stored, 1u);
      EXPECT_TRUE(EntriesStartingWith("!FilterGraph ").empty());
      ASSERT_EQ(m_graph->RemoveFilter(m_filter.Get()), S_OK);
    } else {
      // Switched off in the meantime: the entry, which holds the graph, still goes with the filter.
      Store("AllowGraphEdit", 0);
      ASSERT_EQ(m_graph->RemoveFilter(m_filter.Get()), S_OK);
      EXPECT_TRUE(EntriesStartingWith("!FilterGraph ").empty());
    }
  }
}

TEST_F(GraphMembershipTest, AConnectedFilterIsFoundByItsFileNameUntilDisconnected) {
  ASSERT_EQ(m_graph->AddFilter(m_filter.Get(), u"Flumetta"), S_OK);
  ComPtr<IFileSourceFilter> file;
  ASSERT_EQ(m_filter.As(&file), S_OK);
  ASSERT_EQ(file->Load(Utf8ToUtf16(SAMPLE_TS).c_str(), nullptr), S_OK);
  const std::string name = std::string("!Flumetta:") + SAMPLE_TS + " pid " + ProcessIdText();
  EXPECT_TRUE(EntriesStartingWith(name).empty());  // loaded, not yet connected

  ComPtr<IBaseFilter> demux;
  ASSERT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf())),
            S_OK);
  ASSERT_EQ(m_graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer"), S_OK);
  ComPtr<IPin> out = FirstPin(m_filter.Get(), PINDIR_OUTPUT);
  ComPtr<IPin> in = FirstPin(demux.Get(), PINDIR_INPUT);
  ASSERT_EQ(m_graph->ConnectDirect(out.Get(), in.Get(), nullptr), S_OK);
  std::vector<RunningEntry> entries = EntriesStartingWith("!Flumetta:");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, name);
  ComPtr<ITsSourceInfo> registered;
  ASSERT_EQ(entries[0].object.As(&registered), S_OK);
  EXPECT_EQ(Identity(registered.Get()).Get(), Identity(m_info.Get()).Get());
  entries.clear();
  registered.Reset();

  ASSERT_EQ(m_graph->Disconnect(out.Get()), S_OK);
  ASSERT_EQ(m_graph->Disconnect(in.Get()), S_OK);
  EXPECT_TRUE(EntriesStartingWith("!Flumetta:").empty());
  m_graph->RemoveFilter(m_filter.Get());
  m_graph->RemoveFilter(demux.Get());
}

}  // namespace
}  // namespace tsfilter
