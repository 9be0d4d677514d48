// Interop: ffmpeg makes transport streams, the writers multiplex their PES packets again, and
// ffprobe/ffmpeg judge the result against the source.
#include <gtest/gtest.h>

#include "MuxTestSupport.h"
#include "ToolRunner.h"
#include "outside/muxer/ProgramStreamWriter.h"
#include "outside/muxer/TransportStreamWriter.h"
#include "tests/outside/StreamProbe.h"

namespace muxtest {
namespace {

struct InteropCase {
  const char* name;
  const char* encode;  // ffmpeg options between the inputs and the output file
  bool transportStream;
};

const InteropCase kCases[] = {
    {"mpeg2_mp2_ps", "-map 0:v -map 1:a -c:v mpeg2video -b:v 1500k -g 12 -bf 2 -c:a mp2 -b:a 192k", false},
    {"mpeg2_ac3_ps", "-map 0:v -map 1:a -c:v mpeg2video -b:v 3000k -g 12 -bf 2 -c:a ac3 -b:a 448k -ac 2", false},
    {"mpeg2_two_audio_ps",
     "-map 0:v -map 1:a -map 1:a -c:v mpeg2video -b:v 1200k -g 15 -bf 2 -c:a:0 ac3 -b:a:0 192k -c:a:1 mp2 -b:a:1 "
     "128k",
     false},
    {"mpeg2_ac3_ts", "-map 0:v -map 1:a -c:v mpeg2video -b:v 1500k -g 12 -bf 2 -c:a ac3 -metadata:s:a:0 language=deu",
     true},
    {"mpeg2_two_audio_ts",
     "-map 0:v -map 1:a -map 1:a -c:v mpeg2video -c:a:0 mp2 -c:a:1 ac3 -metadata:s:a:0 language=eng "
     "-metadata:s:a:1 language=fra",
     true},
    {"h264_aac_ts", "-map 0:v -map 1:a -c:v libx264 -preset ultrafast -g 25 -bf 2 -c:a aac -b:a 128k", true},
};

class MultiplexInteropTest : public ::testing::TestWithParam<InteropCase> {};

TEST_P(MultiplexInteropTest, OutputMatchesSourceAndDecodesCleanly) {
  if (!HaveTool("ffmpeg") || !HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
  const InteropCase& c = GetParam();
  TempFolder folder;
  const std::string source = folder.File("source.ts");
  const std::string output = folder.File(c.transportStream ? "out.ts" : "out.mpg");
  int status = 0;
  const std::string log = RunCapture(
      "ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=3 -f lavfi -i "
      "sine=frequency=1000:sample_rate=48000:duration=3 " +
          std::string(c.encode) + " -f mpegts '" + source + "'",
      true, &status);
  ASSERT_EQ(status, 0) << log;

  TsContent content;
  ASSERT_TRUE(ExtractPes(source, content));
  {
    FileSink sink(output);
    outside::ProgramStreamWriter ps;
    outside::TransportStreamWriter ts;
    outside::MultiplexWriter& writer = c.transportStream ? static_cast<outside::MultiplexWriter&>(ts) : ps;
    ASSERT_EQ(MuxContent(content, writer, sink), S_OK);
    EXPECT_EQ(writer.Statistics().lateUnits, 0u);
    EXPECT_EQ(writer.Statistics().droppedStamps, 0u);
  }
  const auto sourceStreams = outsidetest::ProbeStreams(source);
  const auto outputStreams = outsidetest::ProbeStreams(output);
  ASSERT_EQ(outputStreams.size(), sourceStreams.size());
  outsidetest::ExpectStreamsFromSource(sourceStreams, outputStreams, c.transportStream);
  EXPECT_EQ(outsidetest::DecodeErrors(output), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MultiplexInteropTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace muxtest
