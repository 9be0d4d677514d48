// The multiplexer as a filter: pins, configuration and streaming, driven without a graph.
#include "outside/muxer/MultiplexerFilter.h"
#include "outside/muxer/MultiplexerModule.h"

#include <gtest/gtest.h>

#include "MuxTestSupport.h"
#include "ToolRunner.h"
#include "outside/muxer/ProgramStreamWriter.h"
#include "outside/muxer/TransportStreamWriter.h"
#include "platform/com/wstring.h"
#include "tests/outside/TestFilters.h"

namespace muxtest {

// Calls the configuration interface as hosts do: by its position in the table of functions (own
// methods 1 to 8 follow IUnknown's three slots).
HRESULT CallSlot(void* object, int ownSlot, LONG value) {
  using SlotFunction = HRESULT (*)(void*, LONG);
  void** table = *static_cast<void***>(object);
  return reinterpret_cast<SlotFunction>(table[2 + ownSlot])(object, value);
}

namespace {

using outsidetest::FindPinByName;
using outsidetest::MakeType;
using outsidetest::TestPushSource;
using outsidetest::TestSampleSink;

IBaseFilter* NewMultiplexer() {
  IBaseFilter* filter = nullptr;
  EXPECT_EQ(outside::MultiplexerFilter::CreateInstance(nullptr, IID_PPV_ARGS(&filter)), S_OK);
  return filter;
}


TEST(MultiplexerFilterTest, SlotsSixToEightTakeTheHostsValues) {
  IBaseFilter* mux = NewMultiplexer();
  outside::IMultiplexerConfig* config = nullptr;
  ASSERT_EQ(mux->QueryInterface(IID_PPV_ARGS(&config)), S_OK);
  EXPECT_EQ(CallSlot(config, 6, 2), S_OK);
  EXPECT_EQ(CallSlot(config, 7, 30000000), S_OK);
  EXPECT_EQ(CallSlot(config, 8, 448000), S_OK);
  LONG format = -1, video = -1, audio = -1, rate = -1;
  config->GetOutputFormat(&format);
  config->GetVideoBitrate(&video);
  config->GetAudioBitrate(&audio);
  config->GetMuxRate(&rate);
  EXPECT_EQ(format, outside::kMuxProgramStreamHd);
  EXPECT_EQ(video, 30000000);
  EXPECT_EQ(audio, 448000);
  EXPECT_GT(rate, 30000000 + 448000);
  EXPECT_EQ(CallSlot(config, 6, 7), S_OK);
  config->GetOutputFormat(&format);
  EXPECT_EQ(format, outside::kMuxTransportStream);
  EXPECT_EQ(CallSlot(config, 6, 5), E_INVALIDARG);
  EXPECT_EQ(CallSlot(config, 7, -1), E_INVALIDARG);
  config->Release();
  mux->Release();
}

TEST(MultiplexerFilterTest, AFreeInputAppearsOnConnectAndPsRefusesWhatItCannotCarry) {
  IBaseFilter* mux = NewMultiplexer();
  auto* source = new TestPushSource({MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO),
                                     MakeType(MEDIATYPE_Video, MEDIASUBTYPE_H264)});
  IPin* output = FindPinByName(mux, u"Output");
  ASSERT_NE(output, nullptr);
  output->Release();
  IPin* input1 = FindPinByName(mux, u"Input 1");
  ASSERT_NE(input1, nullptr);
  EXPECT_EQ(FindPinByName(mux, u"Input 2"), nullptr);
  ASSERT_EQ(source->Pin(0)->Connect(input1, nullptr), S_OK);
  IPin* input2 = FindPinByName(mux, u"Input 2");
  ASSERT_NE(input2, nullptr);
  EXPECT_LT(source->Pin(1)->Connect(input2, nullptr), 0) << "H.264 is not carried in program streams";
  outside::IMultiplexerConfig* config = nullptr;
  ASSERT_EQ(mux->QueryInterface(IID_PPV_ARGS(&config)), S_OK);
  config->SetOutputFormat(outside::kMuxTransportStream);
  EXPECT_EQ(source->Pin(1)->Connect(input2, nullptr), S_OK);
  config->Release();
  outsidetest::DisconnectBoth(input1);
  outsidetest::DisconnectBoth(input2);
  input1->Release();
  input2->Release();
  source->Release();
  mux->Release();
}

CMediaType TypeOfStream(std::uint8_t streamType) {
  switch (streamType) {
    case 0x02: return MakeType(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO);
    case 0x1B: return MakeType(MEDIATYPE_Video, MEDIASUBTYPE_H264);
    case 0x0F: return MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_AAC_ADTS);
    case 0x81:
    case 0x06: return MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3);
    default: return MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO);
  }
}

struct FilterCase {
  const char* name;
  const char* encode;
  bool transportStream;
};

class MultiplexerFilterStreamingTest : public ::testing::TestWithParam<FilterCase> {};

// Samples carry 100 ns times as a demultiplexer makes them from 90 kHz values; the filter must
// write exactly what the writer writes from the original 90 kHz times.
TEST_P(MultiplexerFilterStreamingTest, WritesWhatTheWriterWritesAndEndsTheStream) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
  const FilterCase& c = GetParam();
  TempFolder folder;
  const std::string sourcePath = folder.File("source.ts");
  int status = 0;
  const std::string log = RunCapture(
      "ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=2 -f lavfi -i "
      "sine=frequency=1000:sample_rate=48000:duration=2 " +
          std::string(c.encode) + " -f mpegts '" + sourcePath + "'",
      true, &status);
  ASSERT_EQ(status, 0) << log;
  TsContent content;
  ASSERT_TRUE(ExtractPes(sourcePath, content));

  MemorySink expected;
  {
    outside::ProgramStreamWriter ps;
    outside::TransportStreamWriter ts;
    outside::MuxSettings settings;
    if (c.transportStream) settings.muxRateBits = 20000000;
    ASSERT_EQ(MuxContent(content, c.transportStream ? static_cast<outside::MultiplexWriter&>(ts) : ps, expected,
                         settings),
              S_OK);
  }

  IBaseFilter* mux = NewMultiplexer();
  if (c.transportStream) {
    outside::IMultiplexerConfig* config = nullptr;
    ASSERT_EQ(mux->QueryInterface(IID_PPV_ARGS(&config)), S_OK);
    config->SetOutputFormat(outside::kMuxTransportStream);
    config->Release();
  }
  std::vector<CMediaType> types;
  for (const TsStreamEntry& entry : content.streams) types.push_back(TypeOfStream(entry.streamType));
  auto* source = new TestPushSource(types);
  auto* sink = new TestSampleSink();
  for (std::size_t i = 0; i < types.size(); ++i) {
    const std::u16string name = u"Input " + Utf8ToUtf16(std::to_string(i + 1));
    IPin* input = FindPinByName(mux, name.c_str());
    ASSERT_NE(input, nullptr);
    ASSERT_EQ(source->Pin(static_cast<int>(i))->Connect(input, nullptr), S_OK);
    input->Release();
  }
  IPin* output = FindPinByName(mux, u"Output");
  ASSERT_EQ(output->Connect(sink->Pin(), nullptr), S_OK);
  output->Release();

  ASSERT_EQ(sink->Pause(), S_OK);
  ASSERT_EQ(mux->Pause(), S_OK);
  ASSERT_EQ(source->Pause(), S_OK);
  for (const PesChunk& chunk : content.chunks) {
    const REFERENCE_TIME start = chunk.pts < 0 ? -1 : chunk.pts * 1000 / 9;
    const LONGLONG media = chunk.dts < 0 ? (chunk.pts < 0 ? -1 : start) : chunk.dts * 1000 / 9;
    ASSERT_EQ(source->Pin(chunk.stream)->Push(chunk.payload.data(), chunk.payload.size(), start, media), S_OK);
  }
  for (std::size_t i = 0; i < types.size(); ++i) {
    EXPECT_EQ(sink->Pin()->endOfStreams, 0);
    ASSERT_EQ(source->Pin(static_cast<int>(i))->DeliverEndOfStream(), S_OK);
  }
  EXPECT_EQ(sink->Pin()->endOfStreams, 1);
  source->Stop();
  mux->Stop();
  sink->Stop();

  EXPECT_TRUE(sink->Pin()->AllBytes() == expected.bytes);
  LONGLONG offset = 0;
  for (const auto& sample : sink->Pin()->samples) {
    EXPECT_EQ(sample.start, offset);
    offset += static_cast<LONGLONG>(sample.bytes.size());
    EXPECT_EQ(sample.stop, offset);
  }
  for (int i = 0; i < source->GetPinCount(); ++i) outsidetest::DisconnectBoth(source->Pin(i));
  outsidetest::DisconnectBoth(sink->Pin());
  source->Release();
  sink->Release();
  mux->Release();
  EXPECT_EQ(outside::MultiplexerObjects().Count(), 0) << "the filter outlived its last reference";
}

const FilterCase kFilterCases[] = {
    {"ps_mpeg2_ac3_mp2", "-map 0:v -map 1:a -map 1:a -c:v mpeg2video -c:a:0 ac3 -c:a:1 mp2", false},
    {"ts_h264_aac", "-map 0:v -map 1:a -c:v libx264 -preset ultrafast -bf 2 -c:a aac", true},
};

INSTANTIATE_TEST_SUITE_P(Fixtures, MultiplexerFilterStreamingTest, ::testing::ValuesIn(kFilterCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace muxtest
