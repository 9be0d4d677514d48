#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/dshow/EnumPins.h"
#include "platform/dshow/SourceSeeking.h"
#include "platform/dshow/SystemClock.h"
#include "tests/platform/dshow/TestFilters.h"

using namespace testfilters;

namespace {

ComPtr<IPin> FindPin(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

// Connected pins hold their peers' filters, so a chain built outside a graph is freed only once
// its connections are broken again; the guard does that when the test ends.
class ConnectionsBrokenAtEnd {
 public:
  ConnectionsBrokenAtEnd(std::initializer_list<IBaseFilter*> filters) : m_filters(filters) {}
  ~ConnectionsBrokenAtEnd() {
    for (IBaseFilter* filter : m_filters) {
      ComPtr<IEnumPins> pins;
      if (FAILED(filter->EnumPins(pins.GetAddressOf()))) continue;
      IPin* pin = nullptr;
      ULONG fetched = 0;
      while (pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
        pin->Disconnect();
        pin->Release();
      }
    }
  }

 private:
  std::vector<IBaseFilter*> m_filters;
};

// Starts the filters downstream first, as a graph does, and waits for the sink's end of stream.
void PlayToEnd(std::initializer_list<IBaseFilter*> downstreamFirst, TestSink* sink) {
  sink->m_ended.Reset();
  for (IBaseFilter* f : downstreamFirst) ASSERT_EQ(f->Pause(), S_OK);
  ASSERT_TRUE(sink->m_ended.Wait(10000));
  for (auto it = std::rbegin(downstreamFirst); it != std::rend(downstreamFirst); ++it) ASSERT_EQ((*it)->Stop(), S_OK);
}

TEST(SourceFilter, PinIsFoundByNameAndByNumber) {
  ComPtr<TestSource> source;
  source.Attach(TestSource::Make());
  struct Case {
    const char16_t* id;
    bool found;
  } cases[] = {{u"TS Out", true}, {u"1", true}, {u"2", false}, {u"0", false}, {u"", false}, {u"1x", false}};
  for (const Case& c : cases) {
    ComPtr<IPin> pin = FindPin(source->Filter(), c.id);
    EXPECT_EQ(pin != nullptr, c.found) << Utf16ToUtf8(c.id);
  }
  LPWSTR id = nullptr;
  ASSERT_EQ(FindPin(source->Filter(), u"TS Out")->QueryId(&id), S_OK);
  EXPECT_EQ(std::u16string(id), u"1");
  CoTaskMemFree(id);
}

TEST(SourceFilter, PushesEveryPacketAndEndsTheStreamEachRun) {
  ComPtr<TestSource> source;
  source.Attach(TestSource::Make());
  ComPtr<TestSink> sink;
  sink.Attach(TestSink::Make());
  ConnectionsBrokenAtEnd breakAtEnd{source->Filter(), sink->Filter()};
  ASSERT_EQ(FindPin(source->Filter(), u"1")->Connect(FindPin(sink->Filter(), u"Input").Get(), nullptr), S_OK);

  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    sink->ClearData();
    PlayToEnd({sink->Filter(), source->Filter()}, sink.Get());
    EXPECT_EQ(sink->m_samples, 100);
    EXPECT_EQ(sink->m_endOfStream, 1);
    EXPECT_EQ(sink->Bytes(), ExpectedPackets(100));
  }
}

TEST(SourceFilter, StopEndsAnEndlessStream) {
  ComPtr<TestSource> source;
  source.Attach(TestSource::Make());
  source->m_stream->m_limit = -1;
  ComPtr<TestSink> sink;
  sink.Attach(TestSink::Make());
  ConnectionsBrokenAtEnd breakAtEnd{source->Filter(), sink->Filter()};
  ASSERT_EQ(FindPin(source->Filter(), u"1")->Connect(FindPin(sink->Filter(), u"Input").Get(), nullptr), S_OK);
  ASSERT_EQ(sink->Filter()->Pause(), S_OK);
  ASSERT_EQ(source->Filter()->Run(0), S_OK);
  while (sink->m_samples < 1000) std::this_thread::yield();
  EXPECT_EQ(source->Filter()->Stop(), S_OK);
  EXPECT_EQ(sink->Filter()->Stop(), S_OK);
  EXPECT_EQ(sink->m_endOfStream, 0);
}

TEST(Connection, RefusedTypesAndWrongStatesGiveTheirCodes) {
  ComPtr<TestSource> source;
  source.Attach(TestSource::Make());
  ComPtr<TestSink> audioOnly;
  audioOnly.Attach(TestSink::Make({MEDIATYPE_Audio}));
  ComPtr<IPin> out = FindPin(source->Filter(), u"1");
  HRESULT hr = out->Connect(FindPin(audioOnly->Filter(), u"Input").Get(), nullptr);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_FALSE(source->m_stream->IsConnected());
  EXPECT_FALSE(audioOnly->m_pin->IsConnected());

  ComPtr<TestSink> sink;
  sink.Attach(TestSink::Make());
  ComPtr<IPin> in = FindPin(sink->Filter(), u"Input");
  ASSERT_EQ(out->Connect(in.Get(), nullptr), S_OK);
  EXPECT_EQ(out->Connect(in.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
  AM_MEDIA_TYPE type{};
  ASSERT_EQ(in->ConnectionMediaType(&type), S_OK);
  EXPECT_EQ(type.subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
  FreeMediaType(type);

  ASSERT_EQ(sink->Filter()->Pause(), S_OK);
  EXPECT_EQ(in->Disconnect(), VFW_E_NOT_STOPPED);
  ASSERT_EQ(sink->Filter()->Stop(), S_OK);
  EXPECT_EQ(in->Disconnect(), S_OK);
  EXPECT_EQ(out->Disconnect(), S_OK);
  EXPECT_EQ(out->Disconnect(), S_FALSE);
  ComPtr<IPin> peer;
  EXPECT_EQ(out->ConnectedTo(peer.GetAddressOf()), VFW_E_NOT_CONNECTED);
}

TEST(Connection, ConnectWithAPartialTypeUsesTheMatchingOffer) {
  ComPtr<TestSource> source;
  source.Attach(TestSource::Make());
  ComPtr<TestSink> sink;
  sink.Attach(TestSink::Make());
  ConnectionsBrokenAtEnd breakAtEnd{source->Filter(), sink->Filter()};
  ComPtr<IPin> out = FindPin(source->Filter(), u"1");
  CMediaType wrong(&MEDIATYPE_Video);
  EXPECT_TRUE(FAILED(out->Connect(FindPin(sink->Filter(), u"Input").Get(), &wrong)));
  CMediaType partial(&MEDIATYPE_Stream);
  EXPECT_EQ(out->Connect(FindPin(sink->Filter(), u"Input").Get(), &partial), S_OK);
}

TEST(TransformFilter, CopiesSamplesWithTheirTimes) {
  ComPtr<TestSource> source;
  source.Attach(TestSource::Make());
  ComPtr<TestTransform> transform;
  transform.Attach(TestTransform::Make());
  ComPtr<TestSink> sink;
  sink.Attach(TestSink::Make());
  ConnectionsBrokenAtEnd breakAtEnd{source->Filter(), transform->Filter(), sink->Filter()};
  ComPtr<IPin> transformIn = FindPin(transform->Filter(), u"XForm In");
  ComPtr<IPin> transformOut = FindPin(transform->Filter(), u"XForm Out");
  ASSERT_TRUE(transformIn && transformOut);
  // The output has no type before the input is connected.
  EXPECT_TRUE(FAILED(transformOut->Connect(FindPin(sink->Filter(), u"Input").Get(), nullptr)));
  ASSERT_EQ(FindPin(source->Filter(), u"1")->Connect(transformIn.Get(), nullptr), S_OK);
  ASSERT_EQ(transformOut->Connect(FindPin(sink->Filter(), u"Input").Get(), nullptr), S_OK);

  PlayToEnd({sink->Filter(), transform->Filter(), source->Filter()}, sink.Get());
  EXPECT_EQ(sink->Bytes(), ExpectedPackets(100));
  EXPECT_EQ(sink->m_endOfStream, 1);
}

TEST(EnumPins, NoticesPinsAddedWhileEnumerating) {
  ComPtr<TestSource> source;
  source.Attach(TestSource::Make());
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(source->Filter()->EnumPins(pins.GetAddressOf()), S_OK);
  HRESULT hr = S_OK;
  auto* second = new TestSourceStream(&hr, source.Get(), u"Second", MEDIATYPE_Audio, GUID_NULL);
  IPin* got[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(pins->Next(2, got, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
  ASSERT_EQ(pins->Reset(), S_OK);
  EXPECT_EQ(pins->Next(2, got, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(got[1], static_cast<IPin*>(second));
  for (IPin* p : got) p->Release();
  EXPECT_EQ(pins->Next(1, got, &fetched), S_FALSE);
}

class TestSeeking : public CSourceSeeking {
 public:
  TestSeeking() : CSourceSeeking("seeking", nullptr, nullptr, &m_lock) { m_rtDuration = 1000; m_rtStop = 1000; }
  HRESULT ChangeStart() override { return Record("start"); }
  HRESULT ChangeStop() override { return Record("stop"); }
  HRESULT ChangeRate() override { return m_dRateSeeking < 1.0 ? E_FAIL : Record("rate"); }
  HRESULT Record(const char* what) {
    // Called without the lock, so the source may wait for its streaming thread.
    heldDuringChange = heldDuringChange || m_lock.IsOwnedByCurrentThread();
    calls += what;
    calls += ";";
    return S_OK;
  }
  CCritSec m_lock;
  std::string calls;
  bool heldDuringChange = false;
};

TEST(SourceSeeking, StoresPositionsAndCallsTheChangesOutsideTheLock) {
  auto* seeking = new TestSeeking();
  seeking->NonDelegatingAddRef();
  IMediaSeeking* s = seeking;
  LONGLONG start = 100, stop = 400;
  EXPECT_EQ(s->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning), S_OK);
  EXPECT_EQ(seeking->calls, "start;stop;");
  LONGLONG delta = 50;
  EXPECT_EQ(s->SetPositions(&delta, AM_SEEKING_RelativePositioning | AM_SEEKING_ReturnTime, nullptr,
                            AM_SEEKING_NoPositioning), S_OK);
  EXPECT_EQ(delta, 150);
  LONGLONG current = 0;
  s->GetPositions(&current, &stop);
  EXPECT_EQ(current, 150);
  EXPECT_EQ(stop, 400);
  EXPECT_EQ(s->SetRate(0.5), E_FAIL);
  EXPECT_EQ(s->SetRate(2.0), S_OK);
  EXPECT_FALSE(seeking->heldDuringChange);
  EXPECT_EQ(s->SetTimeFormat(&TIME_FORMAT_BYTE), E_INVALIDARG);
  EXPECT_EQ(s->IsFormatSupported(&TIME_FORMAT_FRAME), S_FALSE);
  EXPECT_EQ(s->SetPositions(nullptr, AM_SEEKING_AbsolutePositioning, nullptr, 0), E_POINTER);
  seeking->NonDelegatingRelease();
}

TEST(SystemClock, AdviseSignalsTheEventWhenDue) {
  ComPtr<IReferenceClock> clock;
  ASSERT_EQ(CSystemClock::CreateInstance(nullptr, IReferenceClock::kIid, reinterpret_cast<void**>(clock.GetAddressOf())), S_OK);
  REFERENCE_TIME a = 0, b = 0;
  clock->GetTime(&a);
  clock->GetTime(&b);
  EXPECT_GE(b, a);
  CAMEvent event(false);
  DWORD_PTR cookie = 0;
  ASSERT_EQ(clock->AdviseTime(b, 10 * MILLISECONDS, reinterpret_cast<HEVENT>(&event), &cookie), S_OK);
  EXPECT_TRUE(event.Wait(10000));
  REFERENCE_TIME after = 0;
  clock->GetTime(&after);
  EXPECT_GE(after, b + 10 * MILLISECONDS);
  EXPECT_EQ(clock->Unadvise(cookie), S_FALSE);  // a one-shot request is gone once signalled
}

}  // namespace
