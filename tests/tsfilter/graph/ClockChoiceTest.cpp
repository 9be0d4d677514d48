// The reference clock Flumetta hands the graph: with PCRClock off it passes the graph's clock on
// to the first other filter that has one; with PCRClock on the graph keeps its own choice.
#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/taskmem.h"
#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/Guids.h"
#include "shared/ClassIds.h"
#include "tests/platform/dshow/ClockFilter.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/tsfilter/graph/FlumettaGraph.h"

namespace flumgraph {
namespace {

using testfilters::ClockFilter;

TEST(ClockChoice, PcrClockDecidesWhetherTheGraphRunsOnAnotherFiltersClock) {
  struct Case {
    const char* label;
    std::uint32_t pcrClock;   // the stored setting
    bool askVendorInfo;       // QueryVendorInfo switches this instance's PCRClock off
    bool filterClockExpected;
  } cases[] = {
      {"PCRClock off: the other filter's clock", 0, false, true},
      {"PCRClock on: the graph's own clock", 1, false, false},
      {"PCRClock on, then vendor info asked: the other filter's clock", 1, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TemporaryRegistry registry;
    Modules modules;
    ASSERT_TRUE(modules.Problem().empty()) << modules.Problem();
    WriteSetting("PCRClock", c.pcrClock);

    ComPtr<IFilterGraph> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(graph.GetAddressOf())), S_OK);
    ComPtr<IBaseFilter> source;
    ASSERT_EQ(CoCreateInstance(CLSID_Flumetta, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(source.GetAddressOf())), S_OK);
    ClockFilter* clockFilter = nullptr;
    ComPtr<IBaseFilter> clockHolder = ClockFilter::Make(&clockFilter);
    ASSERT_EQ(graph->AddFilter(source.Get(), u"Orvanet Flumetta"), S_OK);
    ASSERT_EQ(graph->AddFilter(clockHolder.Get(), u"clock"), S_OK);
    if (c.askVendorInfo) {
      LPWSTR vendor = nullptr;
      ASSERT_EQ(source->QueryVendorInfo(&vendor), S_OK);
      CoTaskMemFree(vendor);
    }

    // The first pause makes the graph choose its clock (the system clock: nothing here says it
    // renders), asking every filter for its flags first.
    ComPtr<IMediaControl> control;
    ASSERT_EQ(graph->QueryInterface(IID_PPV_ARGS(control.GetAddressOf())), S_OK);
    ASSERT_EQ(control->Pause(), S_OK);
    ComPtr<IMediaFilter> graphFilter;
    ASSERT_EQ(graph->QueryInterface(IID_PPV_ARGS(graphFilter.GetAddressOf())), S_OK);
    ComPtr<IReferenceClock> graphClock, sourceClock;
    ASSERT_EQ(graphFilter->GetSyncSource(graphClock.GetAddressOf()), S_OK);
    ASSERT_EQ(source->GetSyncSource(sourceClock.GetAddressOf()), S_OK);
    ASSERT_TRUE(graphClock);
    EXPECT_EQ(graphClock.Get() == static_cast<IReferenceClock*>(clockFilter), c.filterClockExpected);
    EXPECT_EQ(sourceClock.Get(), graphClock.Get()) << "every filter runs on the graph's clock";

    ASSERT_EQ(control->Stop(), S_OK);
    graph->RemoveFilter(clockHolder.Get());
    graph->RemoveFilter(source.Get());
  }
}

}  // namespace
}  // namespace flumgraph
