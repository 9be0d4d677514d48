// The fixture streams hold what tests/support/README.md promises: other tests rely on their
// stream types, languages, service names and layouts, so a changed ffmpeg option shows up here.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "tests/support/Bytes.h"
#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"

namespace testsupport {
namespace {

std::string Probe(const std::filesystem::path& file, const std::string& entries, const std::string& extra = "") {
  return RunCommand("ffprobe -v error " + extra + " -show_entries " + entries + " -of compact " +
                    ShellQuote(file.string()) + " 2>/dev/null")
      .output;
}

Bytes ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// (stream_type, elementary_PID) of the first PMT section found on a PID, read from the bytes.
std::vector<std::pair<int, int>> StreamTypes(const Bytes& ts, uint16_t pmtPid) {
  std::vector<std::pair<int, int>> streams;
  for (size_t pos = 0; pos + kPacketSize <= ts.size(); pos += kPacketSize) {
    const uint8_t* p = &ts[pos];
    const uint16_t pid = static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
    if (pid != pmtPid || !(p[1] & 0x40) || (p[3] & 0x30) != 0x10 || p[4] != 0) continue;
    const uint8_t* s = p + 5;
    const size_t end = std::min<size_t>(3 + (((s[1] & 0x0F) << 8) | s[2]) - 4, kPacketSize - 5);
    size_t i = 12 + (((s[10] & 0x0F) << 8) | s[11]);
    while (i + 5 <= end) {
      streams.emplace_back(s[i], ((s[i + 1] & 0x1F) << 8) | s[i + 2]);
      i += 5 + (((s[i + 3] & 0x0F) << 8) | s[i + 4]);
    }
    break;
  }
  return streams;
}

struct FixtureCase {
  const char* name;
  std::vector<std::string> probeFacts;  // substrings of ffprobe's compact output
  std::vector<std::pair<int, int>> streamTypes;  // of program 1 (PMT PID 0x1000); empty: not a TS
};

TEST(FixtureStreamsTest, HoldWhatTheReadmeDescribes) {
  const std::string entries =
      "program_tags=service_name:stream=id,codec_name,profile,width,height,display_aspect_ratio,channels,sample_rate:"
      "stream_tags=language";
  const FixtureCase cases[] = {
      {"mpeg2_mp2.ts",
       {"codec_name=mpeg2video", "width=720|height=576", "display_aspect_ratio=4:3", "codec_name=mp2",
        "language=deu", "service_name=Orvanet Test"},
       {{0x02, 0x100}, {0x03, 0x101}}},
      {"mpeg2hd_ac3_mp2.ts",
       {"width=1920|height=1080", "display_aspect_ratio=16:9", "codec_name=ac3", "channels=6", "language=deu",
        "codec_name=mp2", "language=eng"},
       {{0x02, 0x100}, {0x81, 0x101}, {0x03, 0x102}}},
      {"mpeg2hd_ac3dvb_mp2.ts",
       {"width=1920|height=1080", "codec_name=ac3", "channels=6", "language=deu", "language=eng"},
       {{0x02, 0x100}, {0x06, 0x101}, {0x03, 0x102}}},
      {"h264_aud_ac3.ts",
       {"codec_name=h264", "profile=High", "width=1280|height=720", "codec_name=ac3", "language=eng"},
       {{0x1B, 0x100}, {0x81, 0x101}}},
      {"h264_aac.ts", {"codec_name=h264", "width=640|height=360", "codec_name=aac"}, {{0x1B, 0x100}, {0x0F, 0x101}}},
      {"two_programs.ts",
       {"service_name=Orvanet Eins", "service_name=Orvanet Zwei", "width=352|height=288", "language=fra"},
       {{0x02, 0x100}, {0x03, 0x101}}},
      {"long_60s.ts", {"width=352|height=288", "codec_name=mp2"}, {{0x02, 0x100}, {0x03, 0x101}}},
      {"pts_wrap.ts", {"codec_name=mpeg2video", "codec_name=mp2"}, {{0x02, 0x100}, {0x03, 0x101}}},
      {"program_stream.mpg", {"id=0x1e0", "codec_name=mpeg2video", "id=0x80", "codec_name=ac3"}, {}},
  };
  for (const FixtureCase& c : cases) {
    SCOPED_TRACE(c.name);
    REQUIRE_FIXTURE(path, c.name);
    REQUIRE_PROGRAM("ffprobe");
    const std::string probe = Probe(path, entries);
    for (const std::string& fact : c.probeFacts) EXPECT_NE(probe.find(fact), std::string::npos) << fact << "\n" << probe;
    if (!c.streamTypes.empty()) {
      EXPECT_EQ(StreamTypes(ReadFile(path), 0x1000), c.streamTypes);
    }
  }
}

TEST(FixtureStreamsTest, LayoutsThatAnalysisTestsNeed) {
  {
    REQUIRE_FIXTURE(path, "h264_aud_ac3.ts");
    // An IDR access unit: delimiter with primary_pic_type 0, then the SPS (High profile) at once.
    const Bytes layout{0x00, 0x00, 0x00, 0x01, 0x09, 0x10, 0x00, 0x00, 0x00, 0x01, 0x67, 100};
    const Bytes ts = ReadFile(path);
    EXPECT_NE(std::search(ts.begin(), ts.end(), layout.begin(), layout.end()), ts.end());
  }
  {
    REQUIRE_FIXTURE(path, "pts_wrap.ts");
    REQUIRE_PROGRAM("ffprobe");
    // ffprobe moves time stamps before a wrap below zero: the first is negative, the last positive.
    const std::string pts = RunCommand("ffprobe -v error -select_streams v -show_entries packet=pts -of csv=p=0 " +
                                       ShellQuote(path.string()) + " | grep -v '^$' | sed -n '1p;$p'")
                                .output;
    ASSERT_FALSE(pts.empty());
    EXPECT_EQ(pts[0], '-') << pts;
    EXPECT_NE(pts.find("\n") + 1, pts.size()) << pts;
    EXPECT_NE(pts[pts.find('\n') + 1], '-') << pts;
  }
  {
    REQUIRE_FIXTURE(path, "long_60s.ts");
    REQUIRE_PROGRAM("ffprobe");
    const std::string duration = Probe(path, "format=duration");
    EXPECT_NE(duration.find("duration=60."), std::string::npos) << duration;
  }
}

// The bundled sample is what the main job and the README rely on.
TEST(SampleRecordingTest, IsSmallMpeg2WithTwoLanguagesAndAServiceName) {
  const std::filesystem::path sample = PROJECT_SAMPLE_TS;
  ASSERT_TRUE(std::filesystem::is_regular_file(sample)) << sample;
  const auto size = std::filesystem::file_size(sample);
  EXPECT_LE(size, 5u * 1024 * 1024);
  EXPECT_EQ(size % kPacketSize, 0u);
  const Bytes ts = ReadFile(sample);
  EXPECT_EQ(StreamTypes(ts, 0x1000), (std::vector<std::pair<int, int>>{{0x02, 0x100}, {0x06, 0x101}, {0x03, 0x102}}));

  REQUIRE_PROGRAM("ffprobe");
  const std::string probe = Probe(sample,
                                  "program_tags=service_name:stream=codec_name,width,height,display_aspect_ratio,"
                                  "r_frame_rate,channels:stream_tags=language:format=duration");
  for (const char* fact : {"service_name=Orvanet Test", "codec_name=mpeg2video", "width=720|height=576",
                           "display_aspect_ratio=4:3", "r_frame_rate=25/1", "codec_name=ac3|channels=6",
                           "language=deu", "codec_name=mp2", "language=eng", "duration=10."}) {
    EXPECT_NE(probe.find(fact), std::string::npos) << fact << "\n" << probe;
  }
}

}  // namespace
}  // namespace testsupport
