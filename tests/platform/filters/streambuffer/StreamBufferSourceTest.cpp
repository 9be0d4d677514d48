// The stream-buffer source on recordings written directly: its pins and their types, samples as
// recorded (bytes, times, flags), positions and seeking, and damaged data.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/com/activation.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/FormatBlocks.h"
#include "platform/dshow/SeekingInterfaces.h"
#include "platform/filters/streambuffer/StreamBufferSource.h"
#include "tests/platform/filters/TestGraph.h"
#include "tests/platform/filters/streambuffer/AsfTestFiles.h"
#include "tests/platform/filters/streambuffer/CollectingRenderer.h"
#include "tests/support/Fixtures.h"

namespace dvrtest {
namespace {

constexpr std::int64_t kFrame = 400'000;  // 25 fps
constexpr std::int64_t kBase = 90'000'000;
constexpr unsigned kFrames = 250;          // 10 s
constexpr unsigned kGop = 12;

Bytes VideoFrame(unsigned i) {
  return i % kGop == 0 ? Pattern(30'000, i, SequenceStart()) : Pattern(8'000 + i % 7 * 100, i, {0x00, 0x00, 0x01, 0x00});
}
Bytes AudioFrame(unsigned i) { return Pattern(768, 10'000 + i, {0x0B, 0x77}); }

// 10 s of video (a key frame with a sequence header every 12 frames, one frame of 300 kB) and
// AC3 frames of 32 ms, interleaved as a sink receives them.
void WriteRecording(const std::filesystem::path& path) {
  std::unique_ptr<asf::RecordingFile> file;
  ASSERT_EQ(asf::RecordingFile::Create(path.string(), VideoAndAudio(), &file), S_OK);
  unsigned audio = 0;
  for (unsigned i = 0; i < kFrames; ++i) {
    const Bytes frame = i == 100 ? Pattern(300'000, i, SequenceStart()) : VideoFrame(i);
    asf::RecordedSample v{frame.data(), frame.size(), true, kBase + i * kFrame + kFrame, true, kBase + i * kFrame, i % kGop == 0};
    ASSERT_EQ(file->Write(0, v), S_OK);
    for (; audio * 320'000 <= i * kFrame; ++audio) {
      const Bytes a = AudioFrame(audio);
      asf::RecordedSample s{a.data(), a.size(), true, kBase + audio * 320'000, false, 0, true};
      ASSERT_EQ(file->Write(1, s), S_OK);
    }
  }
  ASSERT_EQ(file->Finish(), S_OK);
}

class StreamBufferSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = testsupport::MakeTempDir("sbe-source");
    m_path = m_dir / "rec.dvr-ms";
    WriteRecording(m_path);
  }
  void TearDown() override {
    m_graph->TearDown();
    std::filesystem::remove_all(m_dir);
  }

  // The source loaded with `path`, each pin connected to a renderer.
  HRESULT Open(const std::filesystem::path& path) {
    HRESULT hr = CoCreateInstance(CLSID_StreamBufferSource, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_source.GetAddressOf()));
    if (FAILED(hr)) return hr;
    m_graph->AddFilter(m_source.Get(), u"source");
    ComPtr<IFileSourceFilter> file;
    m_source.As(&file);
    hr = file->Load(Utf8ToUtf16(path.string()).c_str(), nullptr);
    if (FAILED(hr)) return hr;
    for (const char16_t* name : {u"DVR Out - 1", u"DVR Out - 2"}) {
      ComPtr<CollectingRenderer> renderer;
      renderer.Attach(CollectingRenderer::Make());
      m_graph->AddFilter(renderer.Get(), name);
      hr = m_graph->ConnectDirect(FindPin(m_source.Get(), name).Get(), renderer->Input(), nullptr);
      if (FAILED(hr)) return hr;
      m_renderers.push_back(renderer);
    }
    return S_OK;
  }
  ComPtr<IMediaSeeking> Seeking() { return m_source.As<IMediaSeeking>(); }
  bool RunToEnd(std::size_t ends = 2) {
    return SUCCEEDED(m_graph->Run()) && m_graph->WaitForEvents(EC_COMPLETE, ends, 30);
  }
  std::vector<CollectedSample> Video() { return m_renderers[0]->Samples(); }
  std::vector<CollectedSample> Audio() { return m_renderers[1]->Samples(); }

  std::filesystem::path m_dir, m_path;
  ComPtr<TestGraph> m_graph = TestGraph::Create();
  ComPtr<IBaseFilter> m_source;
  std::vector<ComPtr<CollectingRenderer>> m_renderers;
};

TEST_F(StreamBufferSourceTest, PinsAreFoundByNameOnlyAndCarryTheDemultiplexerTypes) {
  ASSERT_EQ(Open(m_path), S_OK);
  ComPtr<IPin> pin;
  EXPECT_EQ(m_source->FindPin(u"1", pin.GetAddressOf()), VFW_E_NOT_FOUND);
  EXPECT_EQ(m_source->FindPin(u"Output", pin.GetAddressOf()), VFW_E_NOT_FOUND);
  AM_MEDIA_TYPE video{}, audio{};
  ASSERT_EQ(FindPin(m_source.Get(), u"DVR Out - 1")->ConnectionMediaType(&video), S_OK);
  ASSERT_EQ(FindPin(m_source.Get(), u"DVR Out - 2")->ConnectionMediaType(&audio), S_OK);
  EXPECT_EQ(video.majortype, MEDIATYPE_Video);
  EXPECT_EQ(video.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
  ASSERT_EQ(video.formattype, FORMAT_MPEG2Video);
  ASSERT_GE(video.cbFormat, 132u + 12u);
  MPEG2VIDEOINFO info{};
  std::memcpy(&info, video.pbFormat, 132);
  EXPECT_EQ(info.hdr.bmiHeader.biWidth, 720);
  EXPECT_EQ(info.hdr.bmiHeader.biHeight, 576);
  EXPECT_EQ(info.hdr.AvgTimePerFrame, kFrame);
  EXPECT_EQ(video.pbFormat[132 + 3], 0xB3) << "the sequence header follows the record";
  EXPECT_EQ(audio.majortype, MEDIATYPE_Audio);
  EXPECT_EQ(audio.subtype, MEDIASUBTYPE_DOLBY_AC3);
  EXPECT_EQ(audio.formattype, FORMAT_WaveFormatEx);
  FreeMediaType(video);
  FreeMediaType(audio);
}

TEST_F(StreamBufferSourceTest, SamplesCarryTheRecordedBytesTimesAndFlags) {
  ASSERT_EQ(Open(m_path), S_OK);
  ASSERT_TRUE(RunToEnd());
  const std::vector<CollectedSample> video = Video();
  // One sample per frame, the 300 kB frame in two (a buffer holds 256 kB), the rest untimed.
  ASSERT_EQ(video.size(), kFrames + 1);
  Bytes expected;
  for (unsigned i = 0; i < kFrames; ++i) {
    const Bytes frame = i == 100 ? Pattern(300'000, i, SequenceStart()) : VideoFrame(i);
    expected.insert(expected.end(), frame.begin(), frame.end());
  }
  EXPECT_EQ(m_renderers[0]->Bytes(), expected);
  for (unsigned i = 0; i < kFrames; ++i) {
    SCOPED_TRACE(i);
    const CollectedSample& s = video[i <= 100 ? i : i + 1];
    ASSERT_TRUE(s.hasStart);
    EXPECT_EQ(s.start, std::int64_t{i} * kFrame + kFrame);  // relative to the first decode time
    ASSERT_TRUE(s.hasMediaTime);
    EXPECT_EQ(s.mediaTime, std::int64_t{i} * kFrame);
    EXPECT_EQ(s.syncPoint, i % kGop == 0);
  }
  EXPECT_FALSE(video[101].hasStart);
  EXPECT_EQ(video[100].bytes.size() + video[101].bytes.size(), 300'000u);
  EXPECT_TRUE(video[0].discontinuity);
  EXPECT_FALSE(video[1].discontinuity);
  const std::vector<CollectedSample> audio = Audio();
  ASSERT_FALSE(audio.empty());
  EXPECT_EQ(audio[3].bytes, AudioFrame(3));
  EXPECT_EQ(audio[3].start, 3 * 320'000);
  EXPECT_FALSE(audio[3].hasMediaTime);
  EXPECT_EQ(m_renderers[0]->EndsOfStream(), 1);
  EXPECT_EQ(m_renderers[1]->EndsOfStream(), 1);
}

TEST_F(StreamBufferSourceTest, PositionsSelectAStretchThatStartsAtASequenceHeader) {
  ASSERT_EQ(Open(m_path), S_OK);
  ComPtr<IMediaSeeking> seeking = Seeking();
  LONGLONG duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, std::int64_t{kFrames} * kFrame + kFrame);  // the last frame's end
  LONGLONG start = 3 * 10'000'000, stop = 6 * 10'000'000;
  ASSERT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning), S_OK);
  ASSERT_TRUE(RunToEnd());
  const std::vector<CollectedSample> video = Video();
  ASSERT_FALSE(video.empty());
  EXPECT_EQ(Bytes(video[0].bytes.begin(), video[0].bytes.begin() + 4), (Bytes{0x00, 0x00, 0x01, 0xB3}));
  EXPECT_TRUE(video[0].discontinuity);
  // From the key frame at or before 3 s to the last frame decoded before 6 s.
  EXPECT_EQ(video.front().mediaTime, 72 * kFrame);
  EXPECT_EQ(video.back().mediaTime, 149 * kFrame);
  for (const CollectedSample& s : Audio()) EXPECT_LT(s.start, stop);
  LONGLONG current = 0;
  ASSERT_EQ(seeking->GetCurrentPosition(&current), S_OK);
  EXPECT_GE(current, 5 * 10'000'000);
  EXPECT_LE(current, stop);
}

TEST_F(StreamBufferSourceTest, ASeekWhileRunningRestartsDeliveryAtTheNewPlace) {
  ASSERT_EQ(Open(m_path), S_OK);
  ASSERT_TRUE(RunToEnd());
  for (auto& renderer : m_renderers) renderer->Clear();
  LONGLONG start = 8 * 10'000'000;
  ASSERT_EQ(Seeking()->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_TRUE(m_graph->WaitForEvents(EC_COMPLETE, 4, 30));
  const std::vector<CollectedSample> video = Video();
  ASSERT_FALSE(video.empty());
  EXPECT_EQ(video.front().mediaTime, 192 * kFrame);  // the key frame at or before 8 s
  EXPECT_EQ(video.back().mediaTime, (kFrames - 1) * kFrame);
}

TEST_F(StreamBufferSourceTest, ADamagedPacketIsSkippedAndDeliveryGoesOn) {
  Bytes bytes = ReadBytes(m_path);
  asf::AsfFileReader reader;
  ASSERT_EQ(reader.Open(m_path.string()), S_OK);
  // Packet 40: its padding length claims more than the packet.
  const std::size_t at = reader.DataStart() + 40 * reader.PacketSize();
  bytes[at + 5] = 0xFF;
  bytes[at + 6] = 0xFF;
  WriteBytes(m_path, bytes);
  ASSERT_EQ(Open(m_path), S_OK);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(static_cast<StreamBufferSource*>(m_source.Get())->DamagedPackets(), 1u);
  const std::vector<CollectedSample> video = Video();
  EXPECT_GT(video.size(), kFrames - 5);
  EXPECT_EQ(video.back().mediaTime, (kFrames - 1) * kFrame);
}

}  // namespace
}  // namespace dvrtest
