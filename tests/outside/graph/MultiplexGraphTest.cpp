// The multiplexer in whole graphs built as the converter builds them: a source (the system's TS
// source for transport streams, the file source for a program stream), the platform
// demultiplexer (and video analyzer for MPEG-2 video), the multiplexer from the catalogue, and a
// writer on its output; the source pin is rendered and the graph run to completion. ffprobe and
// ffmpeg then judge the file against the source.
#include <gtest/gtest.h>

#include <filesystem>

#include "outside/muxer/AudioLanguage.h"
#include "outside/muxer/IMultiplexerConfig.h"
#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/Guids.h"
#include "platform/dshow/Interfaces.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/Mpeg2Interfaces.h"
#include "platform/registry/registry.h"
#include "shared/ClassIds.h"
#include "tests/outside/graph/ModuleRegistration.h"
#include "tests/outside/StreamProbe.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/support/Fixtures.h"

namespace outsidetest {
namespace {

constexpr CLSID kMultiplexer = MakeGuid("{FABBE789-E9E3-47AB-8F03-BF066AA36699}");
constexpr CLSID kAnalyzer = MakeGuid("{C944FCA1-873A-48E6-BCB3-667AF021B5A2}");

enum class Output { ProgramStream, ProgramStreamHd, TransportStream };

struct GraphCase {
  const char* name;
  const char* fixture;
  Output output;
  bool mpeg2Video;    // the converter adds the video analyzer for MPEG-2 video
  bool ac3Analyzer;   // the AC3 analyzer between the demultiplexer and the multiplexer
  bool ac3Preferred;  // the source's audio mode: AC3 track before MPEG audio
  // For transport streams: the language the test hands to the audio pin's media type, standing in
  // for a source that knows it (the TS source's pins carry none).
  const char* language = nullptr;
  // The TS source makes an MPEG audio pin for AAC of stream type 0x0F; the test gives the pin the
  // AAC type before it is rendered, as a host knowing better could.
  bool retagAudioAsAac = false;
};

const GraphCase kCases[] = {
    {"mpeg2_mp2_ps", "mpeg2_mp2.ts", Output::ProgramStream, true, false, true},
    {"mpeg2hd_ac3_ps_hd", "mpeg2hd_ac3_mp2.ts", Output::ProgramStreamHd, true, false, true},
    {"mpeg2hd_mp2_ps_hd", "mpeg2hd_ac3_mp2.ts", Output::ProgramStreamHd, true, false, false},
    {"mpeg2hd_ac3dvb_analyzer_ps", "mpeg2hd_ac3dvb_mp2.ts", Output::ProgramStreamHd, true, true, true},
    {"mpeg2_mp2_ts", "mpeg2_mp2.ts", Output::TransportStream, true, false, true, "deu"},
    {"mpeg2hd_ac3_ts", "mpeg2hd_ac3_mp2.ts", Output::TransportStream, true, false, true, "deu"},
    {"mpeg2hd_ac3_ts_without_language", "mpeg2hd_ac3_mp2.ts", Output::TransportStream, true, false, true},
    {"h264_aac_ts", "h264_aac.ts", Output::TransportStream, false, false, true, "eng", true},
    {"h264_ac3_analyzer_ts", "h264_aud_ac3.ts", Output::TransportStream, false, true, true, "eng"},
    {"program_stream_ps", "program_stream.mpg", Output::ProgramStream, true, false, true},
    {"program_stream_analyzer_ps", "program_stream.mpg", Output::ProgramStream, true, true, true},
};

// Test names in listings are the cases' names.
void PrintTo(const GraphCase& c, std::ostream* os) { *os << c.name; }

class MultiplexGraphTest : public ::testing::TestWithParam<GraphCase> {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegisterModule("PsTsMultiplexer.ax"), S_OK);
    ASSERT_EQ(RegisterModule("Ac3Analyzer.ax"), S_OK);
    m_dir = testsupport::MakeTempDir("muxgraph");
  }
  void TearDown() override {
    if (m_graph) {
      for (auto& filter : m_filters) m_graph->RemoveFilter(filter.Get());
    }
    m_filters.clear();
    m_graph.Reset();
    std::error_code ignored;
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ignored);
  }

  ComPtr<IBaseFilter> Add(REFCLSID clsid, const char16_t* name, const char* module = nullptr) {
    ComPtr<IBaseFilter> filter;
    const HRESULT hr = module ? CreateFromModule(module, clsid, IID_PPV_ARGS(filter.GetAddressOf()))
                              : CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf()));
    EXPECT_EQ(hr, S_OK) << Utf16ToUtf8(name);
    if (!filter) return filter;
    EXPECT_TRUE(SUCCEEDED(m_graph->AddFilter(filter.Get(), name)));
    m_filters.push_back(filter);
    return filter;
  }

  static ComPtr<IPin> Pin(IBaseFilter* filter, const char16_t* name) {
    ComPtr<IPin> pin;
    if (filter) filter->FindPin(name, pin.GetAddressOf());
    return pin;
  }

  // Changes the demultiplexer's audio pin type before it connects: the AAC subtype, a language.
  static void RetagAudioPin(IBaseFilter* demux, const GraphCase& c) {
    ComPtr<IMpeg2Demultiplexer> pins;
    ASSERT_EQ(demux->QueryInterface(IID_PPV_ARGS(pins.GetAddressOf())), S_OK);
    for (const char16_t* name : {u"Audio", u"AC3", u"AAC"}) {
      ComPtr<IPin> pin = Pin(demux, name);
      if (!pin) continue;
      ComPtr<IEnumMediaTypes> types;
      AM_MEDIA_TYPE* first = nullptr;
      ASSERT_EQ(pin->EnumMediaTypes(types.GetAddressOf()), S_OK);
      ASSERT_EQ(types->Next(1, &first, nullptr), S_OK);
      CMediaType type(*first);
      DeleteMediaType(first);
      if (c.retagAudioAsAac) type.SetSubtype(&MEDIASUBTYPE_AAC_ADTS);
      if (c.language) {
        ASSERT_EQ(outside::SetLanguageOfMediaType(type, c.language), S_OK);
      }
      std::u16string pinName = name;
      ASSERT_EQ(pins->SetOutputPinMediaType(pinName.data(), &type), S_OK);
      return;
    }
    FAIL() << "no audio pin on the demultiplexer";
  }

  // Builds and runs source -> demultiplexer -> multiplexer -> file, as the converter does.
  void Convert(const GraphCase& c, const std::string& input, const std::string& output) {
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_graph.GetAddressOf())),
              S_OK);
    const bool ts = std::filesystem::path(input).extension() == ".ts";
    ComPtr<IBaseFilter> source = ts ? Add(CLSID_Flumetta, Utf8ToUtf16(input).c_str(), "Flumetta.ax")
                                    : Add(CLSID_AsyncReader, Utf8ToUtf16(input).c_str());
    ASSERT_TRUE(source);
    ComPtr<IFileSourceFilter> load;
    ASSERT_EQ(source.As(&load), S_OK);
    ASSERT_EQ(load->Load(Utf8ToUtf16(input).c_str(), nullptr), S_OK);

    ComPtr<IBaseFilter> demux = Add(CLSID_MPEG2Demultiplexer, u"MPEG-2 Demultiplexer");
    ASSERT_TRUE(demux);
    if (c.mpeg2Video) {
      ASSERT_TRUE(Add(CLSID_MPEG2VideoAnalyzer, u"MPEG-2 Video Analyzer Filter"));
    }
    ComPtr<IBaseFilter> mux = Add(kMultiplexer, u"PS/TS Multiplexer");
    ComPtr<IBaseFilter> writer = Add(CLSID_FileWriter, u"out");
    ASSERT_TRUE(mux && writer);
    ComPtr<IFileSinkFilter> sink;
    ASSERT_EQ(writer.As(&sink), S_OK);
    ASSERT_EQ(sink->SetFileName(Utf8ToUtf16(output).c_str(), nullptr), S_OK);
    ComPtr<IPin> muxOut = Pin(mux.Get(), u"Output");
    ComPtr<IPin> writerIn;
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(writer->EnumPins(pins.GetAddressOf()), S_OK);
    ASSERT_EQ(pins->Next(1, writerIn.GetAddressOf(), nullptr), S_OK);
    ASSERT_TRUE(muxOut && writerIn);
    ASSERT_EQ(m_graph->ConnectDirect(muxOut.Get(), writerIn.Get(), nullptr), S_OK);

    ComPtr<outside::IMultiplexerConfig> config;
    ASSERT_EQ(mux.As(&config), S_OK);
    if (c.output == Output::ProgramStreamHd) {
      ASSERT_EQ(config->SetOutputFormat(2), S_OK);
      ASSERT_EQ(config->SetVideoBitrate(30000000), S_OK);
      ASSERT_EQ(config->SetAudioBitrate(448000), S_OK);
    } else if (c.output == Output::TransportStream) {
      ASSERT_EQ(config->SetOutputFormat(7), S_OK);
    }
    config.Reset();
    // Added last, so rendering the AC3 pin tries it first; its output then goes to the multiplexer.
    ComPtr<IBaseFilter> analyzer;
    if (c.ac3Analyzer) {
      analyzer = Add(kAnalyzer, u"AC3 Frame Analyzer");
      ASSERT_TRUE(analyzer);
    }

    // Connecting the source to the demultiplexer makes its output pins; each is then rendered,
    // which is what rendering the source pin does, with room to change a pin's type in between.
    ComPtr<IPin> sourcePin = Pin(source.Get(), u"1");
    if (!sourcePin) sourcePin = Pin(source.Get(), u"Output");
    ComPtr<IPin> demuxIn = Pin(demux.Get(), u"MPEG-2 Stream");
    ASSERT_TRUE(sourcePin && demuxIn);
    ASSERT_EQ(m_graph->Connect(sourcePin.Get(), demuxIn.Get()), S_OK);
    if (c.retagAudioAsAac || c.language) RetagAudioPin(demux.Get(), c);
    std::vector<ComPtr<IPin>> outputs;
    ComPtr<IEnumPins> demuxPins;
    ASSERT_EQ(demux->EnumPins(demuxPins.GetAddressOf()), S_OK);
    for (ComPtr<IPin> pin; demuxPins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
      PIN_DIRECTION direction{};
      if (pin->QueryDirection(&direction) == S_OK && direction == PINDIR_OUTPUT) outputs.push_back(pin);
    }
    ASSERT_EQ(outputs.size(), 2u) << "a video and an audio pin";
    for (const auto& pin : outputs) EXPECT_EQ(m_graph->Render(pin.Get()), S_OK);
    if (analyzer) {
      for (const char16_t* name : {u"In", u"Out"}) {
        ComPtr<IPin> peer;
        EXPECT_EQ(Pin(analyzer.Get(), name)->ConnectedTo(peer.GetAddressOf()), S_OK) << "the AC3 analyzer is in the path";
      }
    }

    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ASSERT_EQ(m_graph.As(&control), S_OK);
    ASSERT_EQ(m_graph.As(&events), S_OK);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    LONG code = 0;
    EXPECT_EQ(events->WaitForCompletion(120000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(control->Stop(), S_OK);
  }

  TemporaryRegistry m_registry;
  std::filesystem::path m_dir;
  ComPtr<IGraphBuilder> m_graph;
  std::vector<ComPtr<IBaseFilter>> m_filters;
};

TEST_P(MultiplexGraphTest, OutputHoldsTheSourceStreamsAndDecodesCleanly) {
  const GraphCase& c = GetParam();
  REQUIRE_FIXTURE(input, c.fixture);
  REQUIRE_PROGRAM("ffprobe");
  REQUIRE_PROGRAM("ffmpeg");
  if (!c.ac3Preferred) RegistryWriteDword(HKEY_CURRENT_USER, "Software\\Orvanet\\Flumetta", "AC3", 0);
  const bool ts = c.output == Output::TransportStream;
  const std::string output = (m_dir / (ts ? "out.ts" : "out.mpg")).string();
  Convert(c, input.string(), output);
  if (HasFatalFailure()) return;

  const auto source = ProbeStreams(input.string());
  const auto result = ProbeStreams(output);
  ASSERT_FALSE(source.empty());
  ASSERT_EQ(result.size(), 2u) << "one video and one audio stream";
  // The language is compared where the output carries one.
  ExpectStreamsFromSource(source, result, c.language != nullptr);
  if (ts && !c.language) {
    for (const auto& stream : result) EXPECT_EQ(stream.language, "");
  }
  EXPECT_EQ(DecodeErrors(output), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MultiplexGraphTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace outsidetest
