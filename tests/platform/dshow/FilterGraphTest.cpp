#include "platform/dshow/FilterGraph.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/com/activation.h"
#include "platform/win/messages.h"
#include "tests/platform/dshow/ClockFilter.h"
#include "tests/platform/dshow/ShapeFilters.h"
#include "tests/platform/dshow/TestFilters.h"

using namespace testfilters;

namespace {

ComPtr<IGraphBuilder> NewGraph() {
  ComPtr<IGraphBuilder> graph;
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::kIid,
                             reinterpret_cast<void**>(graph.GetAddressOf())),
            S_OK);
  return graph;
}

template <class F>
ComPtr<F> Own(F* filter) {
  ComPtr<F> held;
  held.Attach(filter);
  return held;
}

ComPtr<IPin> FindPin(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

TEST(FilterGraph, NamesAreUniqueAndFiltersAreFoundByName) {
  auto graph = NewGraph();
  auto a = Own(TestSink::Make());
  auto b = Own(TestSink::Make());
  auto c = Own(TestSink::Make());
  EXPECT_EQ(graph->AddFilter(a->Filter(), u"Dump"), S_OK);
  EXPECT_EQ(graph->AddFilter(b->Filter(), u"Dump"), VFW_S_DUPLICATE_NAME);
  EXPECT_EQ(graph->AddFilter(c->Filter(), u"Dump"), VFW_S_DUPLICATE_NAME);
  EXPECT_EQ(graph->AddFilter(a->Filter(), u"Again"), E_INVALIDARG);
  FILTER_INFO info{};
  ASSERT_EQ(b->Filter()->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(std::u16string(info.achName), u"Dump 0001");
  EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(graph.Get()));
  info.pGraph->Release();

  ComPtr<IBaseFilter> found;
  ASSERT_EQ(graph->FindFilterByName(u"Dump 0002", found.GetAddressOf()), S_OK);
  EXPECT_EQ(found.Get(), c->Filter());
  EXPECT_EQ(graph->FindFilterByName(u"dump", found.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);

  ASSERT_EQ(graph->RemoveFilter(b->Filter()), S_OK);
  EXPECT_EQ(graph->RemoveFilter(b->Filter()), VFW_E_NOT_FOUND);
  ComPtr<IEnumFilters> filters;
  ASSERT_EQ(graph->EnumFilters(filters.GetAddressOf()), S_OK);
  IBaseFilter* listed[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(filters->Next(3, listed, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(listed[0], a->Filter());
  EXPECT_EQ(listed[1], c->Filter());
  for (ULONG i = 0; i < fetched; ++i) listed[i]->Release();
}

// A filter that gave the graph its clock holds that clock, itself, until it leaves: leaving must
// free every filter from it, and the next run must choose a clock again.
TEST(FilterGraph, RemovingTheFilterThatGaveTheClockFreesTheOthersFromIt) {
  for (const bool clockGiverLeaves : {true, false}) {
    SCOPED_TRACE(clockGiverLeaves ? "the clock's filter leaves" : "another filter leaves");
    auto graph = NewGraph();
    ClockFilter* clockFilter = nullptr;
    ComPtr<IBaseFilter> clockHolder = ClockFilter::Make(&clockFilter);
    auto other = Own(TestSink::Make());
    ASSERT_EQ(graph->AddFilter(clockHolder.Get(), u"clock"), S_OK);
    ASSERT_EQ(graph->AddFilter(other->Filter(), u"other"), S_OK);
    ComPtr<IMediaFilter> graphFilter;
    ASSERT_EQ(graph.As(&graphFilter), S_OK);
    ASSERT_EQ(graphFilter->SetSyncSource(clockFilter), S_OK);

    IBaseFilter* leaving = clockGiverLeaves ? clockHolder.Get() : other->Filter();
    IBaseFilter* staying = clockGiverLeaves ? other->Filter() : clockHolder.Get();
    ASSERT_EQ(graph->RemoveFilter(leaving), S_OK);
    ComPtr<IReferenceClock> leftClock, stayingClock, graphClock;
    ASSERT_EQ(leaving->GetSyncSource(leftClock.GetAddressOf()), S_OK);
    EXPECT_FALSE(leftClock) << "a filter out of the graph follows no clock";
    graphFilter->GetSyncSource(graphClock.GetAddressOf());
    staying->GetSyncSource(stayingClock.GetAddressOf());
    EXPECT_EQ(graphClock.Get() == static_cast<IReferenceClock*>(clockFilter), !clockGiverLeaves);
    EXPECT_EQ(stayingClock.Get(), graphClock.Get());

    // With the clock gone, a run chooses one again (the system clock: nothing here renders).
    ComPtr<IMediaControl> control;
    ASSERT_EQ(graph.As(&control), S_OK);
    ASSERT_EQ(control->Pause(), S_OK);
    ASSERT_EQ(graphFilter->GetSyncSource(graphClock.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_TRUE(graphClock);
    ASSERT_EQ(control->Stop(), S_OK);
    graph->RemoveFilter(staying);
  }
}

TEST(FilterGraph, RemovingAFilterDisconnectsIt) {
  auto graph = NewGraph();
  auto source = Own(TestSource::Make());
  auto sink = Own(TestSink::Make());
  graph->AddFilter(source->Filter(), u"Source");
  graph->AddFilter(sink->Filter(), u"Sink");
  ASSERT_EQ(graph->Render(FindPin(source->Filter(), u"1").Get()), S_OK);
  EXPECT_TRUE(source->m_stream->IsConnected());
  ASSERT_EQ(graph->RemoveFilter(sink->Filter()), S_OK);
  EXPECT_FALSE(source->m_stream->IsConnected());
  EXPECT_FALSE(sink->m_pin->IsConnected());
  EXPECT_EQ(graph->Render(FindPin(source->Filter(), u"1").Get()), VFW_E_CANNOT_RENDER);
}

// ---- Render: the shapes of the converter's graphs ------------------------------------------

struct Names {
  std::u16string filter;
  std::u16string pin;
};

class RenderTest : public ::testing::Test {
 protected:
  void Add(IBaseFilter* filter, const char16_t* name) { ASSERT_TRUE(SUCCEEDED(m_graph->AddFilter(filter, name))); }
  ComPtr<IGraphBuilder> m_graph = NewGraph();
};

CMediaType Mpeg2Video() { return shapes::MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video); }
CMediaType H264Video() { return shapes::MakeType(MEDIATYPE_Video, MEDIASUBTYPE_AVC1, FORMAT_MPEG2Video); }
CMediaType Ac3Audio() { return shapes::MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, FORMAT_WaveFormatEx); }
CMediaType MpegAudio() { return shapes::MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1AudioPayload, FORMAT_WaveFormatEx); }

TEST_F(RenderTest, DemultiplexedOutputReachesTheFilesOfItsKindWhateverTheirOrder) {
  struct Case {
    const char* label;
    bool h264;
    bool audioSinkFirst;
  } cases[] = {
      {"mpeg2, video file added first", false, false},
      {"mpeg2, audio file added first", false, true},
      {"h264, video file added first", true, false},
      {"h264, audio file added first", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto graph = NewGraph();
    auto source = Own(TestSource::Make());
    auto demux = Own(c.h264 ? shapes::MakeDemux(H264Video(), u"H.264", MpegAudio(), u"Audio")
                            : shapes::MakeDemux(Mpeg2Video(), u"Video", MpegAudio(), u"Audio"));
    auto analyzer = Own(shapes::MakeAnalyzer());
    auto videoFile = Own(shapes::MakeFileSink(u"/rec/movie.raw"));
    auto audioFile = Own(shapes::MakeFileSink(u"/rec/movie.mpa"));
    graph->AddFilter(source->Filter(), u"/rec/movie.ts");
    graph->AddFilter(demux->Filter(), u"MPEG-2 Demultiplexer");
    if (!c.h264) graph->AddFilter(analyzer->Filter(), u"MPEG-2 Video Analyzer Filter");
    if (c.audioSinkFirst) graph->AddFilter(audioFile->Filter(), u"movie.mpa");
    graph->AddFilter(videoFile->Filter(), u"movie.raw");
    if (!c.audioSinkFirst) graph->AddFilter(audioFile->Filter(), u"movie.mpa");

    ASSERT_EQ(graph->Render(FindPin(source->Filter(), u"1").Get()), S_OK);
    EXPECT_EQ(demux->PeerFilterName(u"MPEG-2 Stream"), u"/rec/movie.ts");
    if (c.h264) {
      EXPECT_EQ(demux->PeerFilterName(u"H.264"), u"movie.raw");
    } else {
      EXPECT_EQ(demux->PeerFilterName(u"Video"), u"MPEG-2 Video Analyzer Filter");
      EXPECT_EQ(analyzer->PeerFilterName(u"out"), u"movie.raw");
    }
    EXPECT_EQ(demux->PeerFilterName(u"Audio"), u"movie.mpa");
  }
}

TEST_F(RenderTest, WavWriterTakesTheAudioAndATeeAddedLastIsSplicedIn) {
  auto source = Own(TestSource::Make());
  auto demux = Own(shapes::MakeDemux(Mpeg2Video(), u"Video", Ac3Audio(), u"AC3"));
  auto analyzer = Own(shapes::MakeAnalyzer());
  auto videoFile = Own(shapes::MakeFileSink(u"/rec/movie.raw"));
  auto audioFile = Own(shapes::MakeFileSink(u"/rec/movie.ac3.wav"));
  auto wavWriter = Own(shapes::MakeWavWriter());
  Add(source->Filter(), u"/rec/movie.ts");
  Add(demux->Filter(), u"MPEG-2 Demultiplexer");
  Add(analyzer->Filter(), u"MPEG-2 Video Analyzer Filter");
  Add(videoFile->Filter(), u"movie.raw");
  Add(audioFile->Filter(), u"movie.ac3.wav");
  Add(wavWriter->Filter(), u"Ambrel");

  ASSERT_EQ(m_graph->Render(FindPin(source->Filter(), u"1").Get()), S_OK);
  EXPECT_EQ(analyzer->PeerFilterName(u"out"), u"movie.raw");
  EXPECT_EQ(demux->PeerFilterName(u"AC3"), u"Ambrel");
  EXPECT_EQ(wavWriter->PeerFilterName(u"Out"), u"movie.ac3.wav");

  // The converter's splice: tee between the audio pin and the WAV writer, a dump on its second output.
  auto tee = Own(shapes::MakeTee());
  Add(tee->Filter(), u"Smart Tee");
  ASSERT_EQ(FindPin(wavWriter->Filter(), u"In")->Disconnect(), S_OK);
  ComPtr<IPin> audioPin = FindPin(demux->Filter(), u"AC3");
  ASSERT_EQ(audioPin->Disconnect(), S_OK);
  EXPECT_TRUE(SUCCEEDED(m_graph->Render(audioPin.Get())));
  EXPECT_EQ(demux->PeerFilterName(u"AC3"), u"Smart Tee");
  EXPECT_EQ(tee->PeerFilterName(u"Output1"), u"Ambrel");
  EXPECT_EQ(wavWriter->PeerFilterName(u"Out"), u"movie.ac3.wav");

  auto teeDump = Own(shapes::MakeFileSink(nullptr));
  Add(teeDump->Filter(), u"movie");
  ComPtr<IPin> second = FindPin(tee->Filter(), u"Output2");
  ASSERT_TRUE(second);
  second->Disconnect();
  EXPECT_EQ(m_graph->Render(second.Get()), S_OK);
  EXPECT_EQ(tee->PeerFilterName(u"Output2"), u"movie");
  EXPECT_EQ(analyzer->PeerFilterName(u"out"), u"movie.raw");
}

TEST_F(RenderTest, TransportStreamGoesStraightToTheDumpFilter) {
  auto source = Own(TestSource::Make());
  auto dump = Own(shapes::MakeFileSink(u"/rec/copy.ts"));
  Add(source->Filter(), u"/rec/movie.ts");
  Add(dump->Filter(), u"copy.ts");
  ASSERT_EQ(m_graph->Render(FindPin(source->Filter(), u"1").Get()), S_OK);
  EXPECT_EQ(dump->PeerFilterName(u"Input"), u"/rec/movie.ts");
  EXPECT_EQ(m_graph->Render(FindPin(source->Filter(), u"1").Get()), VFW_E_ALREADY_CONNECTED);
}

TEST_F(RenderTest, AFilterWhoseOutputsLeadNowhereIsBackedOutOf) {
  // The WAV writer takes the audio but nothing takes its output: the audio file, which wants
  // audio only, must get the audio pin itself.
  auto source = Own(TestSource::Make(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, u"Audio"));
  auto wavWriter = Own(shapes::MakeWavWriter());
  static_cast<shapes::ShapeInputPin*>(wavWriter->Pin(u"In"))->m_accepts = shapes::AnyType();
  auto audioFile = Own(shapes::MakeFileSink(u"/rec/movie.ac3"));
  static_cast<shapes::ShapeInputPin*>(audioFile->Pin(u"Input"))->m_accepts = [](const CMediaType& t) {
    return t.majortype == MEDIATYPE_Audio;
  };
  Add(source->Filter(), u"source");
  Add(audioFile->Filter(), u"movie.ac3");
  Add(wavWriter->Filter(), u"Ambrel");
  EXPECT_EQ(m_graph->Render(FindPin(source->Filter(), u"1").Get()), S_OK);
  EXPECT_EQ(audioFile->PeerFilterName(u"Input"), u"source");
  EXPECT_FALSE(wavWriter->Pin(u"In")->IsConnected());
}

// ---- Events --------------------------------------------------------------------------------

constexpr UINT kGraphMessage = 0x8001;

// Pumps the test thread's messages until the graph's message has come (or a generous guard ends).
int WaitForGraphMessages(HWND window, int wanted) {
  int seen = 0;
  const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (seen < wanted && std::chrono::steady_clock::now() < guard) {
    MSG msg;
    if (PeekMessage(&msg, window, 0, 0, PM_REMOVE)) {
      if (msg.message == kGraphMessage) ++seen;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return seen;
}

std::vector<LONG> DrainEvents(IMediaEventEx* events) {
  std::vector<LONG> codes;
  LONG code;
  LONG_PTR p1, p2;
  while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
    codes.push_back(code);
    events->FreeEventParams(code, p1, p2);
  }
  return codes;
}

class EventTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    ASSERT_NE(m_window, 0);
    m_graph.As(&m_events);
    m_graph.As(&m_control);
    ASSERT_TRUE(m_events && m_control);
    m_events->SetNotifyWindow(m_window, kGraphMessage, 0);
  }
  void TearDown() override {
    m_control->Stop();
    DestroyWindow(m_window);
  }
  ComPtr<IGraphBuilder> m_graph = NewGraph();
  ComPtr<IMediaEventEx> m_events;
  ComPtr<IMediaControl> m_control;
  HWND m_window = 0;
};

TEST_F(EventTest, CompleteIsPostedOnceEverySinkHasEndedAndAgainAfterARestart) {
  auto shortSource = Own(TestSource::Make());
  auto longSource = Own(TestSource::Make());
  longSource->m_stream->m_limit = 20000;
  auto shortSink = Own(TestSink::Make());
  auto longSink = Own(TestSink::Make());
  m_graph->AddFilter(shortSource->Filter(), u"short source");
  m_graph->AddFilter(shortSink->Filter(), u"short sink");
  ASSERT_EQ(m_graph->Render(FindPin(shortSource->Filter(), u"1").Get()), S_OK);
  m_graph->AddFilter(longSource->Filter(), u"long source");
  m_graph->AddFilter(longSink->Filter(), u"long sink");
  ASSERT_EQ(m_graph->Render(FindPin(longSource->Filter(), u"1").Get()), S_OK);

  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    shortSink->ClearData();
    longSink->ClearData();
    ASSERT_EQ(m_control->Run(), S_OK);
    ASSERT_EQ(WaitForGraphMessages(m_window, 1), 1);
    // Both sinks have ended before the one EC_COMPLETE is queued.
    EXPECT_EQ(shortSink->m_endOfStream, 1);
    EXPECT_EQ(longSink->m_endOfStream, 1);
    EXPECT_EQ(DrainEvents(m_events.Get()), std::vector<LONG>{EC_COMPLETE});
    LONG code = 0;
    EXPECT_EQ(m_events->WaitForCompletion(0, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(longSink->Bytes(), ExpectedPackets(20000));
    ASSERT_EQ(m_control->Stop(), S_OK);
    OAFilterState state = -1;
    m_control->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
  }
}

TEST_F(EventTest, StreamingErrorsReachTheQueueAsErrorAbortWithTheirStatus) {
  struct Case {
    const char* label;
    long sourceFailsAt;
    long transformFailsAt;
    HRESULT sinkFails;
    HRESULT expected;
  } cases[] = {
      {"source cannot fill a buffer", 10, -1, S_OK, HRESULT_FROM_WIN32(5)},
      {"transform fails", -1, 7, S_OK, STG_E_MEDIUMFULL},
      {"sink cannot write", -1, -1, STG_E_MEDIUMFULL, STG_E_MEDIUMFULL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto graph = NewGraph();
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaControl> control;
    graph.As(&events);
    graph.As(&control);
    events->SetNotifyWindow(m_window, kGraphMessage, 0);
    auto source = Own(TestSource::Make());
    source->m_stream->m_failAt = c.sourceFailsAt;
    source->m_stream->m_failure = HRESULT_FROM_WIN32(5);
    auto transform = Own(TestTransform::Make());
    transform->m_failAt = c.transformFailsAt;
    auto sink = Own(TestSink::Make());
    sink->m_receiveResult = c.sinkFails;
    graph->AddFilter(source->Filter(), u"source");
    graph->AddFilter(transform->Filter(), u"transform");
    graph->AddFilter(sink->Filter(), u"sink");
    ASSERT_EQ(graph->Render(FindPin(source->Filter(), u"1").Get()), S_OK);
    // The transform is in the path.
    ASSERT_EQ(source->m_stream->GetConnected(), FindPin(transform->Filter(), u"XForm In").Get());

    ASSERT_EQ(control->Run(), S_OK);
    // (The window's messages are shared by the cases; the queue of this graph is what counts.)
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(events->GetEvent(&code, &p1, &p2, 30000), S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    EXPECT_EQ(static_cast<HRESULT>(p1), c.expected);
    control->Stop();
  }
}

TEST_F(EventTest, GetEventTimesOutWithAbortWhenNothingHappened) {
  LONG code = 1;
  LONG_PTR p1 = 1, p2 = 1;
  EXPECT_EQ(m_events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
  EXPECT_EQ(code, 0);
  LONG completion = 1;
  EXPECT_EQ(m_events->WaitForCompletion(0, &completion), E_ABORT);
}

}  // namespace
