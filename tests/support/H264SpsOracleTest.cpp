// ffmpeg's trace_headers filter as an independent reader of the sequence parameter sets the
// builder writes: every field it decodes must be the one the builder was given.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TsBuilder.h"

namespace testsupport {
namespace {

// Field name -> value of the first occurrence in ffmpeg's trace of the stream's headers.
std::map<std::string, long long> TraceFields(const std::string& trace) {
  static const std::regex kLine(R"(\]\s+\d+\s+(\S+)\s+[01]+\s+=\s+(-?\d+))");
  std::map<std::string, long long> fields;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_search(line, m, kLine)) fields.emplace(m[1].str(), std::stoll(m[2].str()));
  }
  return fields;
}

struct SpsCase {
  const char* name;
  H264Sps sps;
  std::map<std::string, long long> expected;  // as ffmpeg names the fields
  std::vector<std::string> absent;
};

std::vector<SpsCase> Cases() {
  std::vector<SpsCase> cases;
  {
    H264Sps s;
    s.profile_idc = 77;
    s.level_idc = 30;
    s.pic_width_in_mbs_minus1 = 44;
    s.pic_height_in_map_units_minus1 = 35;
    cases.push_back({"main sd", s,
                     {{"profile_idc", 77}, {"level_idc", 30}, {"pic_width_in_mbs_minus1", 44},
                      {"pic_height_in_map_units_minus1", 35}, {"frame_mbs_only_flag", 1}, {"vui_parameters_present_flag", 0}},
                     {"chroma_format_idc", "mb_adaptive_frame_field_flag"}});
  }
  {
    H264Sps s;  // High, interlaced 1080, cropped, scaling matrix, POC type 1, VUI with SAR and timing
    s.frame_mbs_only_flag = false;
    s.mb_adaptive_frame_field_flag = true;
    s.pic_height_in_map_units_minus1 = 33;
    s.frame_cropping_flag = true;
    s.frame_crop_bottom_offset = 4;
    s.seq_scaling_matrix_present_flag = true;
    s.pic_order_cnt_type = 1;
    s.offset_for_non_ref_pic = -7;
    s.offset_for_ref_frame = {-3, 5};
    s.num_ref_frames = 4;
    s.vui_parameters_present_flag = true;
    s.aspect_ratio_info_present_flag = true;
    s.aspect_ratio_idc = 255;
    s.sar_width = 4;
    s.sar_height = 3;
    s.timing_info_present_flag = true;  // num_units_in_tick 1: long zero runs need emulation prevention
    cases.push_back({"high interlaced", s,
                     {{"profile_idc", 100}, {"chroma_format_idc", 1}, {"seq_scaling_matrix_present_flag", 1},
                      {"offset_for_non_ref_pic", -7}, {"offset_for_ref_frame[1]", 5}, {"max_num_ref_frames", 4},
                      {"pic_height_in_map_units_minus1", 33}, {"frame_mbs_only_flag", 0},
                      {"mb_adaptive_frame_field_flag", 1}, {"frame_crop_bottom_offset", 4}, {"aspect_ratio_idc", 255},
                      {"sar_width", 4}, {"sar_height", 3}, {"num_units_in_tick", 1}, {"time_scale", 50}},
                     {}});
  }
  {
    H264Sps s;
    s.profile_idc = 244;
    s.chroma_format_idc = 3;
    s.bit_depth_luma_minus8 = 2;
    s.bit_depth_chroma_minus8 = 2;
    s.pic_order_cnt_type = 2;
    s.vui_parameters_present_flag = true;
    s.aspect_ratio_info_present_flag = true;
    s.aspect_ratio_idc = 1;
    cases.push_back({"high 4:4:4", s,
                     {{"profile_idc", 244}, {"chroma_format_idc", 3}, {"separate_colour_plane_flag", 0},
                      {"bit_depth_luma_minus8", 2}, {"pic_order_cnt_type", 2}, {"pic_width_in_mbs_minus1", 119},
                      {"aspect_ratio_idc", 1}},
                     {"log2_max_pic_order_cnt_lsb_minus4"}});
  }
  return cases;
}

TEST(H264SpsOracleTest, FfmpegDecodesTheFieldsThatWereWritten) {
  REQUIRE_PROGRAM("ffmpeg");
  const auto dir = MakeTempDir("sps-oracle");
  ASSERT_FALSE(dir.empty());
  for (const SpsCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    TsStream es;  // raw bytes only: an H.264 elementary stream of one delimiter and one SPS
    Bytes bytes = H264AccessUnitDelimiter(0);
    Append(bytes, c.sps.Build());
    es.Junk(bytes);
    const auto file = dir / "sps.h264";
    ASSERT_TRUE(es.WriteTo(file));
    const std::string trace = RunCommand("ffmpeg -nostdin -hide_banner -f h264 -i " + ShellQuote(file.string()) +
                                         " -c copy -bsf:v trace_headers -f h264 -y /dev/null 2>&1")
                                  .output;
    const auto fields = TraceFields(trace);
    for (const auto& [name, value] : c.expected) {
      auto it = fields.find(name);
      ASSERT_NE(it, fields.end()) << name << "\n" << trace;
      EXPECT_EQ(it->second, value) << name;
    }
    for (const std::string& name : c.absent) EXPECT_EQ(fields.count(name), 0u) << name;
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace testsupport
