// The stream-buffer sink and its recorder fed by test sources: which inputs it takes, the
// profile, creating recorders, what a recording keeps (before and after Start, across flushes),
// when it ends, and a write failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/com/activation.h"
#include "platform/com/wstring.h"
#include "platform/dshow/StreamBufferInterfaces.h"
#include "platform/filters/streambuffer/AsfFileReader.h"
#include "tests/platform/filters/SamplePusher.h"
#include "tests/platform/filters/TestGraph.h"
#include "tests/platform/filters/streambuffer/AsfTestFiles.h"
#include "tests/support/Fixtures.h"

namespace dvrtest {
namespace {

class StreamBufferSinkTest : public ::testing::Test {
 public:  // the cases' steps use the fixture
  void SetUp() override {
    m_dir = testsupport::MakeTempDir("sbe-sink");
    m_path = (m_dir / "rec.dvr-ms").string();
    ASSERT_EQ(CoCreateInstance(CLSID_StreamBufferSink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_sink.GetAddressOf())), S_OK);
    m_sink.As(&m_buffer);
  }
  void TearDown() override {
    m_recorder.Reset();
    m_graph->TearDown();
    std::filesystem::remove_all(m_dir);
  }

  ComPtr<SamplePusher> Pusher(const CMediaType& type) {
    ComPtr<SamplePusher> pusher;
    pusher.Attach(SamplePusher::Create(type));
    m_graph->AddFilter(pusher.Get(), u"pusher");
    return pusher;
  }
  HRESULT Connect(SamplePusher* pusher, const char16_t* pin) {
    return m_graph->ConnectDirect(&pusher->Pin(), FindPin(m_sink.Get(), pin).Get(), nullptr);
  }
  std::vector<std::u16string> PinNames() {
    std::vector<std::u16string> names;
    ComPtr<IEnumPins> pins;
    m_sink->EnumPins(pins.GetAddressOf());
    for (ComPtr<IPin> pin; pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
      PIN_INFO info{};
      pin->QueryPinInfo(&info);
      info.pFilter->Release();
      names.push_back(info.achName);
    }
    return names;
  }
  // Video and AC3 pushers on the first two inputs, the sink added last (it starts first).
  void ConnectVideoAndAudio() {
    m_video = Pusher(VideoType());
    m_audio = Pusher(Ac3Type());
    m_graph->AddFilter(m_sink.Get(), u"StreamBufferSink");
    ASSERT_EQ(Connect(m_video.Get(), u"DVR In - 1"), S_OK);
    ASSERT_EQ(Connect(m_audio.Get(), u"DVR In - 2"), S_OK);
  }
  HRESULT CreateRecorder() {
    HRESULT hr = m_buffer->CreateRecorder(Utf8ToUtf16(m_path).c_str(), RECORDING_TYPE_CONTENT, m_recorder.ReleaseAndGetAddressOf());
    if (m_recorder) m_recorder.As(&m_control);
    return hr;
  }
  void PushFrames(unsigned first, unsigned count) {
    for (unsigned i = first; i < first + count; ++i) {
      ASSERT_EQ(m_video->PushTimed(Pattern(5000, i, SequenceStart()), 40'000'000 + i * 400'000, 40'000'000 + i * 400'000, true), S_OK);
      ASSERT_EQ(m_audio->PushTimed(Pattern(600, 1000 + i, {0x0B, 0x77}), 40'000'000 + i * 400'000, -1, true), S_OK);
    }
  }
  void EndBoth() {
    m_video->EndOfStream();
    m_audio->EndOfStream();
  }
  std::size_t ObjectsInFile() { return ReadObjects(m_path).objects.size(); }

  std::filesystem::path m_dir;
  std::string m_path;
  ComPtr<TestGraph> m_graph = TestGraph::Create();
  ComPtr<IBaseFilter> m_sink;
  ComPtr<IStreamBufferSink> m_buffer;
  ComPtr<SamplePusher> m_video, m_audio;
  ComPtr<IUnknown> m_recorder;
  ComPtr<IStreamBufferRecordControl> m_control;
};

TEST_F(StreamBufferSinkTest, InputsAlwaysLeaveOneFreeAndTakeOneVideoAndOneAudioStream) {
  EXPECT_EQ(PinNames(), (std::vector<std::u16string>{u"DVR In - 1"}));
  ConnectVideoAndAudio();
  EXPECT_EQ(PinNames(), (std::vector<std::u16string>{u"DVR In - 1", u"DVR In - 2", u"DVR In - 3"}));
  // Neither H.264 nor a second audio stream (a tee's second output) is taken.
  ComPtr<SamplePusher> h264 = Pusher(H264Type()), mpeg = Pusher(MpegAudioType());
  EXPECT_TRUE(FAILED(Connect(h264.Get(), u"DVR In - 3")));
  EXPECT_TRUE(FAILED(Connect(mpeg.Get(), u"DVR In - 3")));
  // Once the first audio is disconnected at both ends, another takes its place.
  ASSERT_EQ(m_audio->Pin().Disconnect(), S_OK);
  ASSERT_EQ(FindPin(m_sink.Get(), u"DVR In - 2")->Disconnect(), S_OK);
  EXPECT_EQ(Connect(mpeg.Get(), u"DVR In - 2"), S_OK);
  // An input whose upstream end went elsewhere no longer counts.
  ASSERT_EQ(m_video->Pin().Disconnect(), S_OK);
  ComPtr<SamplePusher> video2 = Pusher(VideoType());
  EXPECT_EQ(Connect(video2.Get(), u"DVR In - 3"), S_OK);
  EXPECT_EQ(PinNames().size(), 4u);
}

TEST_F(StreamBufferSinkTest, TheProfileIsTheConnectedStreamsAndOnceLockedTakesNoOther) {
  m_graph->AddFilter(m_sink.Get(), u"StreamBufferSink");
  EXPECT_EQ(m_buffer->LockProfile(nullptr), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(m_buffer->IsProfileLocked(), S_FALSE);
  m_video = Pusher(VideoType());
  ASSERT_EQ(Connect(m_video.Get(), u"DVR In - 1"), S_OK);
  EXPECT_EQ(m_buffer->LockProfile(nullptr), S_OK);
  EXPECT_EQ(m_buffer->IsProfileLocked(), S_OK);
  m_audio = Pusher(Ac3Type());
  EXPECT_TRUE(FAILED(Connect(m_audio.Get(), u"DVR In - 2")));
  ASSERT_EQ(CreateRecorder(), S_OK);
  ASSERT_EQ(m_graph->Run(), S_OK);
  ASSERT_EQ(m_video->PushTimed(Pattern(100, 1), 0, 0, true), S_OK);
  m_video->EndOfStream();
  ASSERT_TRUE(m_graph->WaitForEvents(EC_COMPLETE, 1, 10));
  asf::AsfFileReader reader;
  ASSERT_EQ(reader.Open(m_path), S_OK);
  EXPECT_EQ(reader.Header().streams.size(), 1u);
}

TEST_F(StreamBufferSinkTest, ARecorderIsMadeOnlyForANewFile) {
  ConnectVideoAndAudio();
  ComPtr<IUnknown> recorder;
  EXPECT_EQ(m_buffer->CreateRecorder(Utf8ToUtf16(m_path).c_str(), RECORDING_TYPE_REFERENCE, recorder.GetAddressOf()),
            E_INVALIDARG);
  WriteBytes(m_path, Bytes{9, 9});
  EXPECT_EQ(CreateRecorder(), HresultFromErrno(EEXIST));
  EXPECT_FALSE(m_recorder);
  EXPECT_EQ(ReadBytes(m_path), (Bytes{9, 9}));
  std::filesystem::remove(m_path);
  EXPECT_EQ(CreateRecorder(), S_OK);
  EXPECT_EQ(m_buffer->CreateRecorder(Utf8ToUtf16(m_path + "2").c_str(), RECORDING_TYPE_CONTENT, recorder.GetAddressOf()),
            VFW_E_WRONG_STATE) << "one recording at a time";
}

TEST_F(StreamBufferSinkTest, WhatARecordingKeeps) {
  struct Case {
    const char* name;
    std::function<void(StreamBufferSinkTest&)> run;
    std::size_t frames;  // pairs of video and audio objects in the file
  };
  const auto flush = [](StreamBufferSinkTest& t) {
    t.m_video->Pin().DeliverBeginFlush();
    t.m_audio->Pin().DeliverBeginFlush();
    t.m_video->Pin().DeliverEndFlush();
    t.m_audio->Pin().DeliverEndFlush();
  };
  const Case cases[] = {
      {"what arrives before Start", [](StreamBufferSinkTest& t) { t.PushFrames(0, 3); t.m_control->Start(nullptr); t.PushFrames(3, 3); }, 6},
      {"only what follows a flush before Start (the seek to the first position)",
       [&](StreamBufferSinkTest& t) { t.PushFrames(0, 3); flush(t); t.PushFrames(3, 2); t.m_control->Start(nullptr); t.PushFrames(5, 1); }, 3},
      {"everything around a flush after Start",
       [&](StreamBufferSinkTest& t) { t.m_control->Start(nullptr); t.PushFrames(0, 3); flush(t); t.PushFrames(3, 2); }, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_graph->TearDown();
    m_graph = TestGraph::Create();
    m_recorder.Reset();
    std::filesystem::remove(m_path);
    ASSERT_EQ(CoCreateInstance(CLSID_StreamBufferSink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_sink.ReleaseAndGetAddressOf())), S_OK);
    m_sink.As(&m_buffer);
    ConnectVideoAndAudio();
    ASSERT_EQ(CreateRecorder(), S_OK);
    ASSERT_EQ(m_graph->Run(), S_OK);
    c.run(*this);
    EndBoth();
    // Complete on disk when the completion is reported.
    ASSERT_TRUE(m_graph->WaitForEvents(EC_COMPLETE, 1, 10));
    asf::AsfFileReader reader;
    ASSERT_EQ(reader.Open(m_path), S_OK);
    EXPECT_FALSE(reader.Header().file.Broadcast());
    EXPECT_EQ(ObjectsInFile(), 2 * c.frames);
  }
}

TEST_F(StreamBufferSinkTest, ARecordingEndsAtStopAtTheGraphsStopOrWhenItsRecorderGoes) {
  struct Case {
    const char* name;
    std::function<void(StreamBufferSinkTest&)> end;
  };
  const Case cases[] = {
      {"the recorder's Stop", [](StreamBufferSinkTest& t) { EXPECT_EQ(t.m_control->Stop(0), S_OK); }},
      {"the graph's stop", [](StreamBufferSinkTest& t) { t.m_graph->Stop(); }},
      {"the recorder released", [](StreamBufferSinkTest& t) { t.m_control.Reset(); t.m_recorder.Reset(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_graph->TearDown();
    m_graph = TestGraph::Create();
    m_recorder.Reset();
    m_control.Reset();
    std::filesystem::remove(m_path);
    ASSERT_EQ(CoCreateInstance(CLSID_StreamBufferSink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_sink.ReleaseAndGetAddressOf())), S_OK);
    m_sink.As(&m_buffer);
    ConnectVideoAndAudio();
    ASSERT_EQ(CreateRecorder(), S_OK);
    ASSERT_EQ(m_graph->Run(), S_OK);
    ASSERT_EQ(m_control->Start(nullptr), S_OK);
    PushFrames(0, 4);
    c.end(*this);
    asf::AsfFileReader reader;
    ASSERT_EQ(reader.Open(m_path), S_OK);
    EXPECT_FALSE(reader.Header().file.Broadcast());
    EXPECT_EQ(ObjectsInFile(), 8u);
    if (m_control) {
      HRESULT status = E_FAIL;
      BOOL started = FALSE, stopped = FALSE;
      EXPECT_EQ(m_control->GetRecordingStatus(&status, &started, &stopped), S_OK);
      EXPECT_EQ(status, S_OK);
      EXPECT_TRUE(started);
      EXPECT_EQ(stopped, TRUE);
    }
  }
}

TEST_F(StreamBufferSinkTest, AFailedWriteEndsTheRunWithItsStatusAndTheRecordingSaysSo) {
  ConnectVideoAndAudio();
  ASSERT_EQ(CreateRecorder(), S_OK);
  ASSERT_EQ(m_graph->Run(), S_OK);
  ASSERT_EQ(m_control->Start(nullptr), S_OK);
  HRESULT failed = S_OK;
  {
    FileSizeLimit limit(3u << 20);  // a disk full after 3 MB
    for (unsigned i = 0; i < 200 && SUCCEEDED(failed); ++i) failed = m_video->PushTimed(Pattern(60'000, i), i * 400'000, -1, true);
    EXPECT_TRUE(FAILED(failed));
    m_graph->Stop();
  }
  const std::vector<TestEvent> events = m_graph->Events();
  ASSERT_EQ(std::count_if(events.begin(), events.end(), [](const TestEvent& e) { return e.code == EC_ERRORABORT; }), 1);
  const auto error = std::find_if(events.begin(), events.end(), [](const TestEvent& e) { return e.code == EC_ERRORABORT; });
  EXPECT_EQ(static_cast<HRESULT>(error->param1), failed);
  HRESULT status = S_OK;
  BOOL started = FALSE, stopped = FALSE;
  ASSERT_EQ(m_control->GetRecordingStatus(&status, &started, &stopped), S_OK);
  EXPECT_EQ(status, failed);
  EXPECT_TRUE(stopped);
  // The file holds what reached the disk, and says so.
  asf::AsfFileReader reader;
  ASSERT_EQ(reader.Open(m_path), S_OK);
  EXPECT_EQ(reader.Header().file.packetCount, reader.PacketCount());
  EXPECT_GT(ObjectsInFile(), 10u);
}

}  // namespace
}  // namespace dvrtest
