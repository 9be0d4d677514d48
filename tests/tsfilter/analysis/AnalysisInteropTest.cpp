// The analysis of the ffmpeg-made fixture streams agrees with ffprobe: programs, PMT PIDs, service
// names, elementary PIDs, stream types, languages and the picture format. The duration follows
// the filter's own rule (all fixtures are shorter than the analysis passes: the size estimate).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"
#include "tests/tsfilter/analysis/AnalysisHarness.h"
#include "tsfilter/analysis/StreamTiming.h"

namespace tsfilter::test {
namespace {

using namespace testsupport;

// ffprobe's flat output as key -> value, quotes removed.
std::map<std::string, std::string> Probe(const std::filesystem::path& file) {
  const CommandResult r = RunCommand(
      "ffprobe -v error -show_entries program=program_id,pmt_pid:program_tags=service_name:program_stream=id,"
      "codec_name:stream=id,codec_name,codec_type,width,height,display_aspect_ratio,r_frame_rate,duration:stream_tags=language "
      "-of flat " + ShellQuote(file.string()));
  std::map<std::string, std::string> values;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    values[line.substr(0, eq)] = value;
  }
  return values;
}

bool StreamTypeFits(std::uint32_t streamType, const std::string& codec) {
  if (codec == "mpeg2video") return streamType == 2;
  if (codec == "h264") return streamType == 27;
  if (codec == "mp2") return streamType == 3 || streamType == 4;
  if (codec == "ac3") return streamType == 0x81 || streamType == 6;
  if (codec == "aac") return streamType == 0x0F;
  return false;
}

class AnalysisInterop : public ::testing::TestWithParam<const char*> {};

TEST_P(AnalysisInterop, AgreesWithFfprobe) {
  REQUIRE_FIXTURE(path, GetParam());
  REQUIRE_PROGRAM("ffprobe");
  LoadedFile file;
  ASSERT_EQ(LoadFile(file.filter, path.c_str(), [&] { return &file.pin; }), S_OK);
  const TsFilterState& f = file.filter;
  auto probe = Probe(path);
  ASSERT_FALSE(probe.empty());

  // Streams by PID.
  std::map<std::uint32_t, std::string> prefixOf;
  for (int s = 0; probe.count("streams.stream." + std::to_string(s) + ".id"); ++s) {
    const std::string prefix = "streams.stream." + std::to_string(s) + ".";
    const std::uint32_t pid = static_cast<std::uint32_t>(std::stoul(probe[prefix + "id"], nullptr, 16));
    prefixOf[pid] = prefix;
    EXPECT_NE(f.census.Find(static_cast<std::uint16_t>(pid)), nullptr) << "PID " << pid << " missing from the census";
  }

  int programs = 0;
  for (; probe.count("programs.program." + std::to_string(programs) + ".program_id"); ++programs) {
    const std::string p = "programs.program." + std::to_string(programs) + ".";
    SCOPED_TRACE(p);
    const ProgramEntry* entry = f.programs.Find(static_cast<std::uint32_t>(std::stoul(probe[p + "program_id"])));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->pmt_pid, std::stoul(probe[p + "pmt_pid"]));
    EXPECT_EQ(std::string(entry->name), probe[p + "tags.service_name"]);
    std::uint32_t s = 0;
    for (; probe.count(p + "streams.stream." + std::to_string(s) + ".id"); ++s) {
      ASSERT_LT(s, entry->pmt.stream_count);
      const StreamRecord& record = entry->pmt.streams[s];
      const std::uint32_t pid = static_cast<std::uint32_t>(std::stoul(probe[p + "streams.stream." + std::to_string(s) + ".id"], nullptr, 16));
      EXPECT_EQ(record.elementary_PID, pid);
      EXPECT_TRUE(StreamTypeFits(record.stream_type, probe[prefixOf[pid] + "codec_name"]))
          << record.stream_type << " for " << probe[prefixOf[pid] + "codec_name"];
      EXPECT_EQ(std::string(record.language), probe[prefixOf[pid] + "tags.language"]);
    }
    EXPECT_EQ(entry->stream_count, s);
  }
  EXPECT_EQ(f.programs.Count(), static_cast<std::size_t>(programs));

  // The model's video PID is a video stream; with a PMT its tracks are the program's audio streams.
  ASSERT_TRUE(prefixOf.count(f.model.videoPid));
  EXPECT_EQ(probe[prefixOf[f.model.videoPid] + "codec_type"], "video");
  for (std::size_t t = 0; t < f.model.audioTrackCount; ++t) {
    const AudioTrack& track = f.model.audioTracks[t];
    ASSERT_TRUE(prefixOf.count(track.pid));
    EXPECT_EQ(probe[prefixOf[track.pid] + "codec_type"], "audio");
    if (!f.model.noPmt) {
      EXPECT_EQ(std::string(track.language), probe[prefixOf[track.pid] + "tags.language"]);
    }
  }

  // The picture format is that of one of the video streams. Only an H.264 stream without encoder
  // delimiters (the muxer's delimiter announces no I slices) goes unrecognised.
  const bool recognisable = std::string(GetParam()) != "h264_aac.ts";
  EXPECT_EQ(f.video.aspectX != 0, recognisable);
  if (recognisable) {
    bool matched = false;
    for (const auto& [pid, prefix] : prefixOf) {
      matched = matched || (probe[prefix + "width"] == std::to_string(f.video.width) &&
                            probe[prefix + "height"] == std::to_string(f.video.height) &&
                            probe[prefix + "display_aspect_ratio"] ==
                                std::to_string(f.video.aspectX) + ":" + std::to_string(f.video.aspectY) &&
                            probe[prefix + "r_frame_rate"] == "25/1");
    }
    EXPECT_TRUE(matched) << f.video.width << "x" << f.video.height << " " << f.video.aspectX << ":" << f.video.aspectY;
  }

  // The end scan reaches the file's last packets, whether the file is shorter than its window or
  // longer (the window's block is aligned to its length, so the last packets may lie beyond it):
  // the duration runs from time zero to the last video PTS, within a few frames of ffprobe's
  // length of the same stream (which also counts the last frame's own duration).
  // Not so across the wrap: time zero follows the smallest PTS of the table search, which there
  // lies after the wrap.
  if (std::string(GetParam()) == "pts_wrap.ts") return;
  const std::string videoDuration = probe[prefixOf[f.model.videoPid] + "duration"];
  ASSERT_FALSE(videoDuration.empty());
  EXPECT_NEAR(static_cast<double>(f.duration) / 1e7, std::stod(videoDuration), 0.2);
}

TEST_P(AnalysisInterop, DeliversEveryPacketFromTheFirstKeyFrame) {
  REQUIRE_FIXTURE(path, GetParam());
  LoadedFile file;
  ASSERT_EQ(LoadFile(file.filter, path.c_str(), [&] { return &file.pin; }), S_OK);
  const std::uint32_t firstDelivered = file.pin.skipTarget == 0 ? 0 : file.pin.skipTarget - 1;
  std::size_t delivered = 0;
  HRESULT hr = S_OK;
  for (;; ++delivered) {
    BufferSample sample;
    hr = ExaminePacket(file.filter, file.pin, &sample);
    if (hr != S_OK) break;
    if (delivered == 0 && file.filter.video.aspectX != 0) {
      EXPECT_EQ(PacketPid(sample.data.data()), file.filter.model.videoPid);
      EXPECT_TRUE(sample.syncPoint);
      EXPECT_EQ(sample.start, 0);
    }
  }
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_EQ(delivered, std::filesystem::file_size(path) / 188 - firstDelivered);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AnalysisInterop,
                         ::testing::Values("mpeg2_mp2.ts", "mpeg2hd_ac3_mp2.ts", "mpeg2hd_ac3dvb_mp2.ts", "h264_aud_ac3.ts",
                                           "h264_aac.ts", "two_programs.ts", "long_60s.ts", "long_150s.ts", "pts_wrap.ts"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace tsfilter::test
