// The conversion graph for every pair of input and output kind, built from the real filters (the
// platform's, Flumetta, Ambrel and the outside stand-ins registered in a temporary registry),
// run to its end: the filters present, the check points passed and the files written.
#include "converter/engine/ConversionGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "converter/engine/CheckPoint.h"
#include "converter/engine/ConversionLog.h"
#include "converter/engine/InputKind.h"
#include "converter/engine/OutputKind.h"
#include "engine/GraphTestSupport.h"
#include "platform/com/wstring.h"
#include "tests/support/Fixtures.h"

namespace {

struct RowCase {
  const char* name;
  const char* fixture;
  int inputKind;
  int outputKind;
  bool h264;
  bool withAc3Filter;                       // an AC3 analyzer chosen for the tee's second output
  // Besides the source, sorted. The demultiplexed audio file's dump keeps the name it was added
  // under (".mpa" before the demultiplexer has pins) while the file takes the pin's extension.
  std::vector<std::string> filters;
  std::vector<int> trail;                   // check points of the build, without the add-to-graph ones
  std::vector<std::string> files;           // written next to the output, non-empty
};

const char* const kMux = "PS/TS Multiplexer";

const RowCase kRows[] = {
    {"ts_to_program_stream", "mpeg2_mp2.ts", InputKind::TransportStream, OutputKind::ProgramStream, false, false,
     {"MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", kMux, "out.mpg"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::ClMux, CheckPoint::Dumper},
     {"out.mpg"}},
    {"ts_to_transport_stream", "mpeg2_mp2.ts", InputKind::TransportStream, OutputKind::TransportStream, false, false,
     {"out.ts"}, {CheckPoint::Dumper}, {"out.ts"}},
    {"ts_to_raw_streams", "mpeg2_mp2.ts", InputKind::TransportStream, OutputKind::DemuxRaw, false, false,
     {"MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", "out.mpa", "out.raw"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::Dumper, CheckPoint::AudioDump},
     {"out.raw", "out.mpa"}},
    {"ts_ac3_to_wav", "mpeg2hd_ac3_mp2.ts", InputKind::TransportStream, OutputKind::DemuxWav, false, false,
     {"Ambrel", "MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", "Smart Tee", "out.ac3", "out.mpa.wav",
      "out.raw"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::Dumper, CheckPoint::AudioDump, CheckPoint::Ambrel,
      CheckPoint::SmartTee, CheckPoint::AudioDump, CheckPoint::Ac3Filter},
     {"out.raw", "out.ac3.wav"}},
    {"ts_ac3_to_wav_through_analyzer", "mpeg2hd_ac3_mp2.ts", InputKind::TransportStream, OutputKind::DemuxWav, false,
     true,
     {"AC3 Frame Analyzer", "Ambrel", "MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", "Smart Tee", "out.ac3",
      "out.mpa.wav", "out.raw"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::Dumper, CheckPoint::AudioDump, CheckPoint::Ambrel,
      CheckPoint::SmartTee, CheckPoint::AudioDump, CheckPoint::Ac3Filter},
     {"out.raw", "out.ac3.wav"}},
    {"h264_to_wav", "h264_aud_ac3.ts", InputKind::TransportStream, OutputKind::DemuxWav, true, false,
     {"Ambrel", "MPEG-2 Demultiplexer", "Smart Tee", "out.ac3", "out.ac3.wav", "out.raw"},
     {CheckPoint::Demux, CheckPoint::Dumper, CheckPoint::AudioDump, CheckPoint::Ambrel, CheckPoint::SmartTee,
      CheckPoint::AudioDump, CheckPoint::Ac3Filter},
     {"out.raw", "out.ac3.wav"}},
    {"h264_to_transport_stream", "h264_aud_ac3.ts", InputKind::TransportStream, OutputKind::TransportStream, true,
     false, {"out.ts"}, {CheckPoint::Dumper}, {"out.ts"}},
    {"program_stream_to_program_stream", "program_stream.mpg", InputKind::ProgramStream, OutputKind::ProgramStream,
     false, false, {"MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", kMux, "out.mpg"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::ClMux, CheckPoint::Dumper},
     {"out.mpg"}},
    {"program_stream_to_transport_stream", "program_stream.mpg", InputKind::ProgramStream,
     OutputKind::TransportStream, false, false,
     {"MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", kMux, "out.ts"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::ClMux, CheckPoint::Dumper},
     {"out.ts"}},
    {"program_stream_to_raw_streams", "program_stream.mpg", InputKind::ProgramStream, OutputKind::DemuxRaw, false,
     false, {"MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", "out.mpa", "out.raw"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::Dumper, CheckPoint::AudioDump},
     {"out.raw", "out.ac3"}},
};

void PrintTo(const RowCase& c, std::ostream* os) { *os << c.name; }

class ConversionGraphRowTest : public ::testing::TestWithParam<RowCase> {
 protected:
  void SetUp() override { ASSERT_EQ(converter_test::RegisterConverterModules(), S_OK); }
  converter_test::ModuleRegistry m_registry;
  TempDir m_out;
};

TEST_P(ConversionGraphRowTest, BuildsRunsAndWritesItsFiles) {
  const RowCase& row = GetParam();
  REQUIRE_FIXTURE(input, row.fixture);
  const std::string output =
      m_out.File(row.outputKind == OutputKind::ProgramStream     ? "out.mpg"
                 : row.outputKind == OutputKind::TransportStream ? "out.ts"
                                                                 : "out.raw");
  ConversionGraph graph(0);
  ASSERT_EQ(graph.LoadSource(input.string(), row.inputKind), S_OK);
  const std::string ac3Spec = row.withAc3Filter ? converter_test::Ac3AnalyzerSpec() : "";
  const HRESULT built = graph.BuildConversionGraph(output, row.inputKind, row.outputKind,
                                                   converter_test::MultiplexerSpec(), ac3Spec, false, row.h264);
  EXPECT_TRUE(SUCCEEDED(built)) << std::hex << built;

  std::vector<std::string> filters = converter_test::FilterNames(graph.Graph());
  filters.erase(std::remove(filters.begin(), filters.end(), input.string()), filters.end());
  EXPECT_EQ(filters, row.filters);
  EXPECT_EQ(converter_test::BuildTrail(graph.CheckPointTrail()), row.trail);

  ASSERT_EQ(graph.StartOutput(output, 0, 0), S_OK);
  EXPECT_EQ(converter_test::WaitForEnd(graph.Graph()), EC_COMPLETE);
  EXPECT_EQ(graph.StopGraph(), S_OK);
  for (const std::string& file : row.files) {
    EXPECT_GT(converter_test::FileSize(m_out.File(file)), 0) << file;
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ConversionGraphRowTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

class ConversionGraphTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(converter_test::RegisterConverterModules(), S_OK); }
  converter_test::ModuleRegistry m_registry;
  TempDir m_out;
};

TEST_F(ConversionGraphTest, TransportStreamToTransportStreamFeedsTheDumpFromTheSourceAndSwitchesTheDemuxOff) {
  REQUIRE_FIXTURE(input, "mpeg2_mp2.ts");
  const auto logStart = converter_test::ConversionLogSize();
  ConversionGraph graph(0);
  ASSERT_EQ(graph.LoadSource(input.string(), InputKind::TransportStream), S_OK);
  ASSERT_EQ(graph.BuildConversionGraph(m_out.File("out.ts"), 4, 4, "", "", false, false), S_OK);
  EXPECT_EQ(converter_test::PeerFilterName(graph.Source(), u"1"), "out.ts");
  EXPECT_NE(converter_test::ConversionLogSince(logStart).find("Selecting TS to TS conversion\n"), std::string::npos);
}

TEST_F(ConversionGraphTest, AMultiplexerSpecWithoutACommaStopsTheBuildAtItsCheckPoint) {
  REQUIRE_FIXTURE(input, "mpeg2_mp2.ts");
  const auto logStart = converter_test::ConversionLogSize();
  ConversionGraph graph(0);
  ASSERT_EQ(graph.LoadSource(input.string(), InputKind::TransportStream), S_OK);
  const HRESULT built = graph.BuildConversionGraph(m_out.File("out.mpg"), 4, 1, "<Auto>", "", false, false);
  EXPECT_TRUE(FAILED(built));
  EXPECT_EQ(graph.LastCheckPoint(), CheckPoint::ClMux);
  EXPECT_NE(converter_test::ConversionLogSince(logStart).find("Graph build failed at check point: CLMux\n"),
            std::string::npos);
  EXPECT_EQ(graph.MainDump(), nullptr) << "nothing is added after the failing step";
}

TEST_F(ConversionGraphTest, DvrMsOutputWithoutTheStreamBufferFailsAtItsCheckPoint) {
  REQUIRE_FIXTURE(input, "mpeg2_mp2.ts");
  ConversionGraph graph(0);
  ASSERT_EQ(graph.LoadSource(input.string(), InputKind::TransportStream), S_OK);
  const HRESULT built = graph.BuildConversionGraph(m_out.File("out.dvr-ms"), 4, 0, "", "", false, false);
  if (SUCCEEDED(built)) GTEST_SKIP() << "this build has the stream-buffer sink";
  EXPECT_EQ(built, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(graph.LastCheckPoint(), CheckPoint::Sbe);
}

TEST_F(ConversionGraphTest, HdTransportStreamOutputConfiguresTheMultiplexerBeforeReleasingIt) {
  REQUIRE_FIXTURE(input, "program_stream.mpg");
  const auto logStart = converter_test::ConversionLogSize();
  ConversionGraph graph(0);
  ASSERT_EQ(graph.LoadSource(input.string(), InputKind::ProgramStream), S_OK);
  ASSERT_TRUE(SUCCEEDED(graph.BuildConversionGraph(m_out.File("out.ts"), 1, 4, converter_test::MultiplexerSpec(), "",
                                                   true, false)));
  const std::string log = converter_test::ConversionLogSince(logStart);
  const auto hd = log.find("Setting muxer for HDTV\n");
  const auto ts = log.find("Setting muxer for TS\n");
  ASSERT_NE(hd, std::string::npos) << log;
  ASSERT_NE(ts, std::string::npos) << log;
  EXPECT_LT(hd, ts);
  EXPECT_EQ(converter_test::MultiplexerFormat(graph.Graph()), 7) << "the last format call wins: transport stream";
}

TEST_F(ConversionGraphTest, ASecondBuildAddsNothing) {
  REQUIRE_FIXTURE(input, "mpeg2_mp2.ts");
  ConversionGraph graph(0);
  ASSERT_EQ(graph.LoadSource(input.string(), InputKind::TransportStream), S_OK);
  ASSERT_EQ(graph.BuildConversionGraph(m_out.File("out.ts"), 4, 4, "", "", false, false), S_OK);
  const auto before = converter_test::FilterNames(graph.Graph());
  EXPECT_EQ(graph.BuildConversionGraph(m_out.File("out.mpg"), 4, 1, converter_test::MultiplexerSpec(), "", false,
                                       false),
            S_OK);
  EXPECT_EQ(converter_test::FilterNames(graph.Graph()), before);
}

TEST_F(ConversionGraphTest, MarksPositionTheSourceAndTheRunEndsAtTheStop) {
  REQUIRE_FIXTURE(input, "long_60s.ts");
  ConversionGraph graph(0);
  ASSERT_EQ(graph.LoadSource(input.string(), InputKind::TransportStream), S_OK);
  ASSERT_EQ(graph.BuildConversionGraph(m_out.File("out.ts"), 4, 4, "", "", false, false), S_OK);
  ASSERT_EQ(graph.StartOutput(m_out.File("out.ts"), 20000, 30000), S_OK);
  EXPECT_EQ(converter_test::WaitForEnd(graph.Graph()), EC_COMPLETE);
  ComPtr<IMediaSeeking> seeking;
  ASSERT_EQ(graph.Source()->QueryInterface(IID_PPV_ARGS(seeking.GetAddressOf())), S_OK);
  LONGLONG current = 0;
  LONGLONG stop = 0;
  ASSERT_EQ(seeking->GetPositions(&current, &stop), S_OK);
  EXPECT_EQ(stop, 300000000);
  EXPECT_EQ(graph.StopGraph(), S_OK);
  const auto whole = std::filesystem::file_size(input);
  const auto cut = converter_test::FileSize(m_out.File("out.ts"));
  EXPECT_GT(cut, 0);
  EXPECT_LT(cut, static_cast<long long>(whole / 3)) << "ten seconds of a minute";
}

TEST_F(ConversionGraphTest, TearDownLeavesNoFilterAndAllowsANewSource) {
  REQUIRE_FIXTURE(input, "mpeg2_mp2.ts");
  ConversionGraph graph(0);
  ASSERT_EQ(graph.LoadSource(input.string(), InputKind::TransportStream), S_OK);
  ASSERT_EQ(graph.BuildConversionGraph(m_out.File("out.mpg"), 4, 1, converter_test::MultiplexerSpec(), "", false,
                                       false),
            S_OK);
  graph.TearDownGraph();
  EXPECT_EQ(graph.Graph(), nullptr);
  EXPECT_EQ(graph.Source(), nullptr);
  ASSERT_EQ(graph.LoadSource(input.string(), InputKind::TransportStream), S_OK);
  EXPECT_EQ(converter_test::FilterNames(graph.Graph()), std::vector<std::string>{input.string()});
}

}  // namespace
