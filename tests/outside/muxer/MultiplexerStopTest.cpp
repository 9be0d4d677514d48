// The multiplexer in a graph that is stopped before its sources end, as when a user aborts a
// conversion: a source that has delivered part of a stream, the multiplexer, and the file writer.
// The file must be whole and playable and hold every unit that reached the multiplexer.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "MuxTestSupport.h"
#include "OutputParsers.h"
#include "ToolRunner.h"
#include "outside/elementary/Crc32Mpeg.h"
#include "outside/muxer/MultiplexerFilter.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/Guids.h"
#include "tests/outside/StreamProbe.h"
#include "tests/outside/TestFilters.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace muxtest {
namespace {

constexpr std::size_t kMp2FrameBytes = 384;  // 128 kbit/s at 48 kHz, no padding

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ComPtr<IPin> PinOf(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

// What one run pushed into the multiplexer, per input.
struct Pushed {
  std::map<int, std::vector<std::uint8_t>> bytes;
  std::map<int, int> chunks;
};

class MultiplexerStopTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!HaveTool("ffmpeg") || !HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    int status = 0;
    const std::string source = m_folder.File("source.ts");
    const std::string log = RunCapture(
        "ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=2 -f lavfi -i "
        "sine=frequency=1000:sample_rate=48000:duration=2 -map 0:v -map 1:a -c:v mpeg2video -c:a mp2 -b:a 128k "
        "-f mpegts '" + source + "'",
        true, &status);
    ASSERT_EQ(status, 0) << log;
    ASSERT_TRUE(ExtractPes(source, m_content));
    ASSERT_EQ(m_content.streams.size(), 2u);
    ASSERT_EQ(m_content.streams[0].streamType, 0x02) << "video first, as the inputs are connected";
    m_output = m_folder.File(GetParam() ? "out.ts" : "out.mpg");
    BuildGraph();
  }

  void TearDown() override {
    if (m_control) m_control->Stop();
    m_control.Reset();
    if (m_graph) {
      for (IBaseFilter* filter : {static_cast<IBaseFilter*>(m_source), m_mux.Get(), m_writer.Get()}) {
        if (filter) m_graph->RemoveFilter(filter);
      }
    }
    if (m_source) m_source->Release();
    m_mux.Reset();
    m_writer.Reset();
    m_graph.Reset();
  }

  void BuildGraph() {
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_graph.GetAddressOf())),
              S_OK);
    ASSERT_EQ(outside::MultiplexerFilter::CreateInstance(nullptr, IID_PPV_ARGS(m_mux.GetAddressOf())), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_writer.GetAddressOf())),
              S_OK);
    m_source = new outsidetest::TestPushSource({outsidetest::MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO),
                                                outsidetest::MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Audio)});
    ASSERT_EQ(m_graph->AddFilter(m_source, u"source"), S_OK);
    ASSERT_EQ(m_graph->AddFilter(m_mux.Get(), u"multiplexer"), S_OK);
    ASSERT_EQ(m_graph->AddFilter(m_writer.Get(), u"writer"), S_OK);
    ComPtr<IFileSinkFilter> sink;
    ASSERT_EQ(m_writer.As(&sink), S_OK);
    ASSERT_EQ(sink->SetFileName(Utf8ToUtf16(m_output).c_str(), nullptr), S_OK);
    if (GetParam()) {
      ComPtr<outside::IMultiplexerConfig> config;
      ASSERT_EQ(m_mux.As(&config), S_OK);
      ASSERT_EQ(config->SetOutputFormat(outside::kMuxTransportStream), S_OK);
    }
    ASSERT_EQ(m_graph->ConnectDirect(m_source->Pin(0), PinOf(m_mux.Get(), u"Input 1").Get(), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(m_source->Pin(1), PinOf(m_mux.Get(), u"Input 2").Get(), nullptr), S_OK);
    ComPtr<IEnumPins> pins;
    ComPtr<IPin> writerIn;
    ASSERT_EQ(m_writer->EnumPins(pins.GetAddressOf()), S_OK);
    ASSERT_EQ(pins->Next(1, writerIn.GetAddressOf(), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(PinOf(m_mux.Get(), u"Output").Get(), writerIn.Get(), nullptr), S_OK);
    ASSERT_EQ(m_graph.As(&m_control), S_OK);
  }

  // Pauses the graph (the writer takes samples while paused) and pushes the first count chunks.
  Pushed PushChunks(std::size_t count) {
    Pushed pushed;
    EXPECT_EQ(m_control->Pause(), S_OK);
    for (std::size_t i = 0; i < count && i < m_content.chunks.size(); ++i) {
      const PesChunk& chunk = m_content.chunks[i];
      const REFERENCE_TIME start = chunk.pts < 0 ? -1 : chunk.pts * 1000 / 9;
      const LONGLONG media = chunk.dts < 0 ? start : chunk.dts * 1000 / 9;
      EXPECT_EQ(m_source->Pin(chunk.stream)->Push(chunk.payload.data(), chunk.payload.size(), start, media), S_OK);
      auto& bytes = pushed.bytes[chunk.stream];
      bytes.insert(bytes.end(), chunk.payload.begin(), chunk.payload.end());
      ++pushed.chunks[chunk.stream];
    }
    return pushed;
  }

  // The file is whole, decodes without a complaint and holds exactly what was pushed.
  void ExpectFileHolds(const Pushed& pushed) {
    const std::vector<std::uint8_t> bytes = ReadFile(m_output);
    ASSERT_FALSE(bytes.empty());
    const bool ts = GetParam();
    const ParsedOutput out = ts ? ParseTransportStream(bytes, &outside::Crc32Mpeg) : ParseProgramStream(bytes);
    ASSERT_EQ(out.fault, "") << bytes.size() << " bytes";
    const int videoKey = ts ? out.keyOfPid.at(0x100) : 0xE0;
    const int audioKey = ts ? out.keyOfPid.at(0x101) : 0xC0;
    EXPECT_TRUE(out.elementary.at(videoKey) == pushed.bytes.at(0)) << "video";
    EXPECT_TRUE(out.elementary.at(audioKey) == pushed.bytes.at(1)) << "audio";

    const auto streams = outsidetest::ProbeStreams(m_output);
    ASSERT_EQ(streams.size(), 2u);
    for (const auto& stream : streams) {
      const bool video = stream.sampleRate.empty();
      // Every picture came in a chunk of its own; audio frames are of one size.
      const std::size_t frames = video ? static_cast<std::size_t>(pushed.chunks.at(0))
                                       : pushed.bytes.at(1).size() / kMp2FrameBytes;
      EXPECT_EQ(stream.packets.size(), frames) << stream.codec;
    }
    EXPECT_EQ(outsidetest::DecodeErrors(m_output), "");
  }

  TemporaryRegistry m_registry;
  TempFolder m_folder;
  TsContent m_content;
  std::string m_output;
  ComPtr<IGraphBuilder> m_graph;
  ComPtr<IMediaControl> m_control;
  ComPtr<IBaseFilter> m_mux;
  ComPtr<IBaseFilter> m_writer;
  outsidetest::TestPushSource* m_source = nullptr;
};

TEST_P(MultiplexerStopTest, AStopBeforeTheEndLeavesAWholeFileWithAllThatArrived) {
  // Stopped partway, twice: the second run starts a new stream and a new file.
  for (const std::size_t count : {m_content.chunks.size() / 2, m_content.chunks.size() / 3}) {
    SCOPED_TRACE(count);
    const Pushed pushed = PushChunks(count);
    ASSERT_EQ(m_control->Stop(), S_OK);
    ExpectFileHolds(pushed);
  }
}

TEST_P(MultiplexerStopTest, AStopAfterTheEndWritesNothingMore) {
  const Pushed pushed = PushChunks(m_content.chunks.size() / 2);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(m_source->Pin(i)->DeliverEndOfStream(), S_OK);
  ASSERT_EQ(m_control->Stop(), S_OK);
  ExpectFileHolds(pushed);
}

INSTANTIATE_TEST_SUITE_P(Formats, MultiplexerStopTest, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "transport" : "program"); });

// A downstream that has already stopped refuses the rest: Stop says so instead of hanging or
// claiming the output is whole.
TEST(MultiplexerStopFailureTest, ARefusedFinishIsReported) {
  IBaseFilter* mux = nullptr;
  ASSERT_EQ(outside::MultiplexerFilter::CreateInstance(nullptr, IID_PPV_ARGS(&mux)), S_OK);
  auto* source = new outsidetest::TestPushSource({outsidetest::MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Audio)});
  auto* sink = new outsidetest::TestSampleSink();
  IPin* input = outsidetest::FindPinByName(mux, u"Input 1");
  IPin* output = outsidetest::FindPinByName(mux, u"Output");
  ASSERT_EQ(source->Pin(0)->Connect(input, nullptr), S_OK);
  ASSERT_EQ(output->Connect(sink->Pin(), nullptr), S_OK);
  ASSERT_EQ(sink->Pause(), S_OK);
  ASSERT_EQ(mux->Pause(), S_OK);
  ASSERT_EQ(source->Pause(), S_OK);
  std::vector<std::uint8_t> frame(kMp2FrameBytes, 0x55);
  frame[0] = 0xFF, frame[1] = 0xFD, frame[2] = 0x84, frame[3] = 0x44;
  EXPECT_EQ(source->Pin(0)->Push(frame.data(), frame.size(), 0, 0), S_OK);
  source->Stop();
  sink->Stop();
  EXPECT_TRUE(FAILED(mux->Stop()));
  EXPECT_EQ(mux->Stop(), S_OK) << "a second stop has nothing left to finish";
  outsidetest::DisconnectBoth(input);
  outsidetest::DisconnectBoth(output);
  input->Release();
  output->Release();
  source->Release();
  sink->Release();
  mux->Release();
}

}  // namespace
}  // namespace muxtest
