// Interop: ffmpeg makes transport streams, the writers multiplex their PES packets again, and
// ffprobe/ffmpeg judge the result against the source.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "MuxTestSupport.h"
#include "ToolRunner.h"
#include "outside/muxer/ProgramStreamWriter.h"
#include "outside/muxer/TransportStreamWriter.h"

namespace muxtest {
namespace {

struct ProbedStream {
  std::string description;  // codec, sample rate, channels (and language when compared)
  std::vector<std::pair<std::string, std::string>> packets;  // pts, dts
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

// Streams in ffprobe's order with their packets (after ffmpeg's parsers cut them into frames).
std::vector<ProbedStream> Probe(const std::string& path, bool withLanguage) {
  std::vector<ProbedStream> streams;
  const std::string info = RunCapture(
      "ffprobe -v error -show_entries stream=index,codec_name,sample_rate,channels:stream_tags=language -of "
      "flat '" + path + "'");
  std::map<int, std::map<std::string, std::string>> fields;
  for (const std::string& line : Split(info, '\n')) {
    // streams.stream.0.codec_name="mp2"
    const auto eq = line.find('=');
    const auto parts = Split(line.substr(0, eq), '.');
    if (eq == std::string::npos || parts.size() < 4 || parts[0] != "streams") continue;
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    fields[std::stoi(parts[2])][parts.back()] = value;
  }
  for (auto& [index, f] : fields) {
    ProbedStream stream;
    stream.description = f["codec_name"] + " " + f["sample_rate"] + " " + f["channels"];
    if (withLanguage) stream.description += " " + f["language"];
    streams.resize(std::max<std::size_t>(streams.size(), index + 1));
    streams[index].description = stream.description;
  }
  const std::string packets =
      RunCapture("ffprobe -v error -show_entries packet=stream_index,pts,dts -of csv=p=0 '" + path + "'");
  for (const std::string& line : Split(packets, '\n')) {
    const auto parts = Split(line, ',');
    if (parts.size() < 3) continue;
    const auto index = static_cast<std::size_t>(std::stoi(parts[0]));
    if (index < streams.size()) streams[index].packets.emplace_back(parts[1], parts[2]);
  }
  return streams;
}

long long ToTicks(const std::string& text) { return text == "N/A" ? -1 : std::stoll(text); }

// Source and output streams match up by description in order; every time differs by one offset.
void ExpectSameStreams(const std::vector<ProbedStream>& source, const std::vector<ProbedStream>& output) {
  ASSERT_EQ(source.size(), output.size());
  std::vector<bool> used(output.size(), false);
  bool haveOffset = false;
  long long offset = 0;
  for (const ProbedStream& src : source) {
    SCOPED_TRACE(src.description);
    std::size_t match = 0;
    while (match < output.size() && (used[match] || output[match].description != src.description)) ++match;
    ASSERT_LT(match, output.size()) << "no output stream like the source's";
    used[match] = true;
    const ProbedStream& out = output[match];
    ASSERT_EQ(src.packets.size(), out.packets.size());
    for (std::size_t i = 0; i < src.packets.size(); ++i) {
      SCOPED_TRACE("packet " + std::to_string(i));
      const long long srcPts = ToTicks(src.packets[i].first), outPts = ToTicks(out.packets[i].first);
      const long long srcDts = ToTicks(src.packets[i].second), outDts = ToTicks(out.packets[i].second);
      ASSERT_EQ(srcPts < 0, outPts < 0);
      ASSERT_EQ(srcDts < 0, outDts < 0);
      if (srcPts < 0) continue;
      if (!haveOffset) {
        offset = outPts - srcPts;
        haveOffset = true;
      }
      EXPECT_EQ(outPts - srcPts, offset);
      if (srcDts >= 0) {
        EXPECT_EQ(outDts - srcDts, offset);
      }
    }
  }
}

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
  ExpectSameStreams(Probe(source, c.transportStream), Probe(output, c.transportStream));
  const std::string errors = RunCapture("ffmpeg -v error -i '" + output + "' -f null -", true);
  EXPECT_EQ(errors, "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MultiplexInteropTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace muxtest
