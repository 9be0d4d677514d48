// DVR-MS in whole graphs, built as the converter builds them, on the ffmpeg-made streams:
// transport streams recorded through Flumetta, the demultiplexer, the video analyzer, the audio
// tee and the sink, judged by ffprobe and ffmpeg; recordings (ours and ffmpeg's ASF) played by
// the stream-buffer source into dump filters, byte for byte against ffmpeg's own extraction; and
// the marks, on the way in and on the way out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/converter/StreamFacts.h"
#include "tests/platform/filters/streambuffer/AsfTestFiles.h"
#include "tests/platform/filters/streambuffer/DvrGraph.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"

namespace dvrtest {
namespace {

namespace fs = std::filesystem;

struct StreamCase {
  const char* fixture;
  const char* audioCodec;   // what the recording's audio is (Flumetta's choice of track)
  const char* audioFormat;  // ffmpeg's raw format for it
};

const StreamCase kCases[] = {
    {"mpeg2_mp2.ts", "mp2", "mp2"},
    {"mpeg2hd_ac3_mp2.ts", "ac3", "ac3"},
    {"mpeg2hd_ac3dvb_mp2.ts", "ac3", "ac3"},
    {"pts_wrap.ts", "mp2", "mp2"},  // the 33-bit clock wraps 1.3 s in
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.fixture; }

class DvrGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::ProgramAvailable("ffmpeg") || !testsupport::ProgramAvailable("ffprobe"))
      GTEST_SKIP() << "ffmpeg and ffprobe are needed (Debian package ffmpeg)";
    ASSERT_EQ(RegisterModules(), "");
    m_dir = testsupport::MakeTempDir("dvr-graph");
  }
  void TearDown() override {
    std::error_code ignored;
    if (!m_dir.empty() && !std::getenv("KEEP_TEST_FILES")) fs::remove_all(m_dir, ignored);
  }
  std::string File(const std::string& name) const { return (m_dir / name).string(); }
  // ffmpeg's copy of one stream of `input`.
  Bytes Extract(const std::string& input, const std::string& map, const std::string& format) {
    const std::string out = File("ffmpeg-" + std::to_string(++m_extracts) + "." + format);
    streamfacts::ExtractWithFfmpeg(input, map, format, out);
    return ReadBytes(out);
  }

  TemporaryRegistry m_registry;
  fs::path m_dir;
  int m_extracts = 0;
};

class TsToDvrMsTest : public DvrGraphTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(TsToDvrMsTest, TheRecordingHoldsBothStreamsAsDeliveredAndPlaysBackByteForByte) {
  const StreamCase& c = GetParam();
  REQUIRE_FIXTURE(ts, c.fixture);
  const std::string recording = File("rec.dvr-ms");
  const RecordResult result = RecordTransportStream(ts.string(), recording, RecordOptions{}, File("tee-dump"));
  ASSERT_EQ(result.build, S_OK);
  ASSERT_EQ(result.recorder, S_OK);
  EXPECT_EQ(result.completion, EC_COMPLETE);
  EXPECT_EQ(result.recordingStatus, S_OK);
  EXPECT_TRUE(result.started && result.stopped);
  // The tee's first output feeds the sink, its second the dump filter behind it.
  EXPECT_EQ(result.sinkInputs, "DVR In - 1<-Smart Tee,DVR In - 2<-MPEG-2 Video Analyzer Filter");

  EXPECT_EQ(testsupport::RunCommand("ffprobe -v error -show_entries format=format_name -of csv=p=0 " +
                                    testsupport::ShellQuote(recording)).output, "asf\n");
  EXPECT_EQ(streamfacts::CodecName(recording, "v"), "mpeg2video");
  EXPECT_EQ(streamfacts::CodecName(recording, "a"), c.audioCodec);
  EXPECT_EQ(streamfacts::FrameCount(recording, "v"), streamfacts::FrameCount(ts.string(), "v"));
  EXPECT_EQ(streamfacts::DecodeErrors(recording), "");

  const Bytes video = Extract(ts.string(), "0:v:0", "mpeg2video");
  const Bytes audio = Extract(ts.string(), "0:a:0", c.audioFormat);
  EXPECT_EQ(ReadBytes(File("tee-dump")), audio) << "the dump on the tee's second output has the audio";
  const std::string audioOut = File(std::string("out.") + c.audioFormat);  // the dump filters are told apart by extension
  ASSERT_EQ(PlayToElementaryStreams(recording, File("out.m2v"), audioOut), EC_COMPLETE);
  EXPECT_EQ(ReadBytes(File("out.m2v")), video);
  EXPECT_EQ(ReadBytes(audioOut), audio);
}

INSTANTIATE_TEST_SUITE_P(Streams, TsToDvrMsTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.audioCodec) + std::to_string(info.index); });

// Whether the bytes of `part` appear in `whole` in one piece.
bool IsContiguousPart(const Bytes& part, const Bytes& whole) {
  return !part.empty() && std::search(whole.begin(), whole.end(), part.begin(), part.end()) != whole.end();
}

TEST_F(DvrGraphTest, MarksRecordAnUnbrokenStretchOfBothStreams) {
  REQUIRE_FIXTURE(ts, "long_60s.ts");
  const Bytes video = Extract(ts.string(), "0:v:0", "mpeg2video");
  const Bytes audio = Extract(ts.string(), "0:a:0", "mp2");
  // The converter's order: the stopped source is positioned, so the recording starts where the
  // source starts, at a sequence header. (Positioned on a paused graph, the source restarts its
  // delivery once for the start and once more for the stop, and what came between is flushed
  // away: the converter does not seek a running graph.)
  const std::string recording = File("b.dvr-ms");
  RecordOptions options;
  options.startMs = 20'000;
  options.stopMs = 30'000;
  options.positionsBeforePause = true;
  const RecordResult result = RecordTransportStream(ts.string(), recording, options);
  ASSERT_EQ(result.completion, EC_COMPLETE);
  ASSERT_EQ(PlayToElementaryStreams(recording, File("mark.m2v"), File("mark.mp2")), EC_COMPLETE);
  const Bytes markedVideo = ReadBytes(File("mark.m2v")), markedAudio = ReadBytes(File("mark.mp2"));
  ASSERT_GE(markedVideo.size(), 4u);
  EXPECT_EQ(Bytes(markedVideo.begin(), markedVideo.begin() + 4), (Bytes{0x00, 0x00, 0x01, 0xB3}));
  EXPECT_EQ(streamfacts::DecodeErrors(recording), "");
  EXPECT_TRUE(IsContiguousPart(markedVideo, video));
  EXPECT_TRUE(IsContiguousPart(markedAudio, audio));
  // About the ten seconds asked for (Flumetta positions by packets, not frames).
  const double seconds = static_cast<double>(markedAudio.size()) / static_cast<double>(audio.size()) * 60;
  EXPECT_GT(seconds, 9.0);
  EXPECT_LT(seconds, 12.0);
}

TEST_F(DvrGraphTest, TheSourcePlaysTheStretchBetweenMarks) {
  REQUIRE_FIXTURE(ts, "long_60s.ts");
  const std::string recording = File("rec.dvr-ms");
  ASSERT_EQ(RecordTransportStream(ts.string(), recording, RecordOptions{}).completion, EC_COMPLETE);
  ASSERT_EQ(PlayToElementaryStreams(recording, File("all.m2v"), File("all.mp2")), EC_COMPLETE);
  ASSERT_EQ(PlayToElementaryStreams(recording, File("part.m2v"), File("part.mp2"), 40'000, 50'000), EC_COMPLETE);
  const Bytes part = ReadBytes(File("part.m2v"));
  ASSERT_GE(part.size(), 4u);
  EXPECT_EQ(Bytes(part.begin(), part.begin() + 4), (Bytes{0x00, 0x00, 0x01, 0xB3}));
  EXPECT_TRUE(IsContiguousPart(part, ReadBytes(File("all.m2v"))));
  EXPECT_TRUE(IsContiguousPart(ReadBytes(File("part.mp2")), ReadBytes(File("all.mp2"))));
  const double seconds = static_cast<double>(part.size()) / static_cast<double>(ReadBytes(File("all.m2v")).size()) * 60;
  EXPECT_GT(seconds, 8.5);
  EXPECT_LT(seconds, 12.5);
}

TEST_F(DvrGraphTest, AsfFilesMadeByFfmpegPlayByteForByte) {
  struct Case {
    const char* fixture;
    const char* audioFormat;
  };
  for (const Case& c : {Case{"mpeg2hd_ac3_mp2.ts", "ac3"}, Case{"mpeg2_mp2.ts", "mp2"}}) {
    SCOPED_TRACE(c.fixture);
    const fs::path ts = testsupport::FixturePath(c.fixture);
    if (ts.empty()) GTEST_SKIP() << testsupport::FixtureProblem(c.fixture);
    const std::string asf = File("ffmpeg.asf");
    ASSERT_EQ(testsupport::RunCommand("ffmpeg -nostdin -v error -y -i " + testsupport::ShellQuote(ts.string()) +
                                      " -map 0:v:0 -map 0:a:0 -c copy -f asf " + testsupport::ShellQuote(asf)).exitCode, 0);
    const std::string audioOut = File(std::string("ff.") + c.audioFormat);
    ASSERT_EQ(PlayToElementaryStreams(asf, File("ff.m2v"), audioOut), EC_COMPLETE);
    EXPECT_EQ(ReadBytes(File("ff.m2v")), Extract(ts.string(), "0:v:0", "mpeg2video"));
    EXPECT_EQ(ReadBytes(audioOut), Extract(ts.string(), "0:a:0", c.audioFormat));
  }
}

}  // namespace
}  // namespace dvrtest
