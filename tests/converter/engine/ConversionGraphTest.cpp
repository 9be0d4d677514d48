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
#include "StreamFacts.h"
#include "engine/GraphTestSupport.h"
#include "engine/TempDir.h"
#include "platform/com/wstring.h"
#include "platform/dshow/Errors.h"
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
  bool dvdSample = false;                   // the input is the sample title set, not a fixture
};

const char* const kMux = "PS/TS Multiplexer";

const RowCase kRows[] = {
    {"ts_to_program_stream", "mpeg2_mp2.ts", InputKind::TransportStream, OutputKind::ProgramStream, false, false,
     {"MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", kMux, "out.mpg"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::ClMux, CheckPoint::Dumper},
     {"out.mpg"}},
    {"ts_to_dvr_ms", "mpeg2_mp2.ts", InputKind::TransportStream, OutputKind::DvrMs, false, false,
     {"MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", "Smart Tee", "StreamBufferSink", "out.mpa"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::Sbe, CheckPoint::SmartTee, CheckPoint::AudioDump},
     {"out.dvr-ms"}},
    {"ts_ac3_to_dvr_ms_through_analyzer", "mpeg2hd_ac3_mp2.ts", InputKind::TransportStream, OutputKind::DvrMs, false,
     true,
     {"AC3 Frame Analyzer", "MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", "Smart Tee", "StreamBufferSink",
      "out.ac3"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::Sbe, CheckPoint::SmartTee, CheckPoint::AudioDump,
      CheckPoint::Ac3Filter},
     {"out.dvr-ms"}},
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
    {"dvd_to_program_stream", nullptr, InputKind::Dvd, OutputKind::ProgramStream, false, false,
     {"MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", kMux, "out.mpg"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::ClMux, CheckPoint::Dumper}, {"out.mpg"}, true},
    {"dvd_to_transport_stream", nullptr, InputKind::Dvd, OutputKind::TransportStream, false, false,
     {"MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", kMux, "out.ts"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::ClMux, CheckPoint::Dumper}, {"out.ts"}, true},
    {"dvd_to_raw_streams", nullptr, InputKind::Dvd, OutputKind::DemuxRaw, false, false,
     {"MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", "out.mpa", "out.raw"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::Dumper, CheckPoint::AudioDump}, {"out.raw", "out.ac3"},
     true},
    {"dvd_to_wav", nullptr, InputKind::Dvd, OutputKind::DemuxWav, false, false,
     {"Ambrel", "MPEG-2 Demultiplexer", "MPEG-2 Video Analyzer Filter", "Smart Tee", "out.ac3", "out.mpa.wav",
      "out.raw"},
     {CheckPoint::Demux, CheckPoint::VideoAnalyzer, CheckPoint::Dumper, CheckPoint::AudioDump, CheckPoint::Ambrel,
      CheckPoint::SmartTee, CheckPoint::AudioDump, CheckPoint::Ac3Filter},
     {"out.raw", "out.ac3.wav"}, true},
};

const std::string kDvdSample = std::string(TEST_DATA_DIR) + "/dvd_min/VIDEO_TS/VTS_01_0.IFO";

void PrintTo(const RowCase& c, std::ostream* os) { *os << c.name; }

class ConversionGraphRowTest : public ::testing::TestWithParam<RowCase> {
 protected:
  void SetUp() override { ASSERT_EQ(converter_test::RegisterConverterModules(), S_OK); }
  converter_test::ModuleRegistry m_registry;
  TempDir m_out;
};

TEST_P(ConversionGraphRowTest, BuildsRunsAndWritesItsFiles) {
  const RowCase& row = GetParam();
  const std::filesystem::path input = row.dvdSample ? std::filesystem::path(kDvdSample) : testsupport::FixturePath(row.fixture);
  if (input.empty()) GTEST_SKIP() << testsupport::FixtureProblem(row.fixture);
  const std::string output =
      m_out.File(row.outputKind == OutputKind::ProgramStream     ? "out.mpg"
                 : row.outputKind == OutputKind::TransportStream ? "out.ts"
                 : row.outputKind == OutputKind::DvrMs           ? "out.dvr-ms"
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

namespace {

double Seconds(std::int64_t ticks90k) { return static_cast<double>(ticks90k) / 90000.0; }

// Seeking is positional: a time becomes the packet at the same fraction of the file as of the
// measured duration, and the cut then starts at the first sequence header from there.
long PacketOfTime(IBaseFilter* source, LONG ms, std::uint64_t fileSize) {
  ComPtr<IMediaSeeking> seeking;
  LONGLONG duration = 0;
  if (FAILED(source->QueryInterface(IID_PPV_ARGS(seeking.GetAddressOf()))) || FAILED(seeking->GetDuration(&duration)))
    return -1;
  return static_cast<long>(static_cast<std::int64_t>(ms) * static_cast<std::int64_t>(fileSize / 188) /
                           (duration / 10000));
}

class ConversionGraphCutTest : public ConversionGraphTest {
 protected:
  // Converts the stretch between marks 60000 and 120000 (3 s earlier each, the lead).
  void Cut(const std::string& input, int outputKind, const std::string& output) {
    ConversionGraph graph(0);
    ASSERT_EQ(graph.LoadSource(input, InputKind::TransportStream), S_OK);
    ASSERT_EQ(graph.BuildConversionGraph(output, 4, outputKind, "", "", false, false), S_OK);
    const auto size = std::filesystem::file_size(input);
    m_startPacket = PacketOfTime(graph.Source(), 57000, size);
    m_stopPacket = PacketOfTime(graph.Source(), 117000, size);
    ASSERT_EQ(graph.StartOutput(output, 57000, 117000), S_OK);
    EXPECT_EQ(converter_test::WaitForEnd(graph.Graph()), EC_COMPLETE);
    EXPECT_EQ(graph.StopGraph(), S_OK);
  }
  long m_startPacket = -1;
  long m_stopPacket = -1;
};

TEST_F(ConversionGraphCutTest, IsTheRecordingFromTheSequenceHeaderAtMarkInToMarkOut) {
  REQUIRE_FIXTURE(input, "long_150s.ts");
  const std::string output = m_out.File("cut.ts");
  Cut(input.string(), 4, output);
  const std::string original = ReadWholeFile(input.string());
  const int pid = streamfacts::VideoPid(input.string());
  ASSERT_GT(m_startPacket, 0);
  const long first = m_startPacket + streamfacts::FirstSequenceHeaderPacket(original.substr(m_startPacket * 188u), pid);
  ASSERT_GT(m_stopPacket, first);
  const std::string cut = ReadWholeFile(output);
  EXPECT_EQ(cut.size(), static_cast<std::size_t>(m_stopPacket - first) * 188u);
  EXPECT_TRUE(cut == original.substr(first * 188u, (m_stopPacket - first) * 188u))
      << "exactly the packets from the sequence header at Mark In up to Mark Out";

  // In the pictures' own times the positions lie near 57 s and 117 s (as near as the recording's
  // bit rate is even).
  const auto all = streamfacts::VideoPresentationTimes(original, pid);
  const auto kept = streamfacts::VideoPresentationTimes(cut, pid);
  ASSERT_FALSE(all.empty());
  ASSERT_FALSE(kept.empty());
  const std::int64_t zero = *std::min_element(all.begin(), all.end());
  EXPECT_NEAR(Seconds(*std::min_element(kept.begin(), kept.end()) - zero), 57.0, 6.0);
  EXPECT_NEAR(Seconds(*std::max_element(kept.begin(), kept.end()) - zero), 117.0, 6.0);
  EXPECT_EQ(streamfacts::DecodeErrors(output), "");
}

TEST_F(ConversionGraphCutTest, ToElementaryStreamsGivesTheCutsStreamsUnbroken) {
  REQUIRE_FIXTURE(input, "long_150s.ts");
  const std::string transport = m_out.File("cut.ts");
  Cut(input.string(), 4, transport);
  const std::string video = m_out.File("cut.raw");
  Cut(input.string(), 2, video);
  const std::string raw = ReadWholeFile(video);
  ASSERT_GE(raw.size(), 4u);
  EXPECT_EQ(raw.substr(0, 4), std::string("\x00\x00\x01\xB3", 4)) << "video from a sequence header";
  // The same stretch as the transport-stream cut, as ffmpeg takes its streams apart.
  const std::string refVideo = streamfacts::ExtractWithFfmpeg(transport, "0:v:0", "mpeg2video", m_out.File("ref.m2v"));
  const std::string refAudio = streamfacts::ExtractWithFfmpeg(transport, "0:a:0", "mp2", m_out.File("ref.mp2"));
  EXPECT_TRUE(raw == ReadWholeFile(refVideo));
  EXPECT_TRUE(ReadWholeFile(m_out.File("cut.mpa")) == ReadWholeFile(refAudio));
  for (const std::string& file : {video, m_out.File("cut.mpa")}) EXPECT_EQ(streamfacts::DecodeErrors(file), "") << file;
}

}  // namespace

namespace {

// A title set that cannot be read: the load fails with its status, and the user is told what is
// wrong with it before the graph's own message.
TEST_F(ConversionGraphTest, ADamagedTitleSetIsReportedWithItsCause) {
  const std::filesystem::path folder(m_out.File("VIDEO_TS"));
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(kDvdSample, folder / "VTS_01_0.IFO");
  ConversionGraph graph(0);
  testing::internal::CaptureStderr();
  const HRESULT loaded = graph.LoadSource((folder / "VTS_01_0.IFO").string(), InputKind::Dvd);
  const std::string reported = testing::internal::GetCapturedStderr();
  EXPECT_EQ(loaded, DVD_E_VOB_MISSING);
  EXPECT_NE(reported.find("Failed to load " + (folder / "VTS_01_0.IFO").string() +
                          "\nCause: A VOB file of the title set is missing.\n"),
            std::string::npos)
      << reported;
}

}  // namespace
