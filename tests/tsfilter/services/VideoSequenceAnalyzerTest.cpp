#include "tsfilter/services/VideoSequenceAnalyzer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/TsBuilder.h"
#include "tsfilter/services/RbspBitReader.h"

namespace tsfilter::test {
namespace {

using namespace testsupport;

// The first packet of a video PES carrying `es`.
Packet VideoPacket(const Bytes& es) {
  TsStream ts;
  ts.Pes(0x100, PesBuilder(0xE0).Pts(90000).Unbounded().Payload(es).Build());
  Packet packet{};
  std::copy_n(ts.Data().begin(), 188, packet.begin());
  return packet;
}

struct Analysis {
  bool Run(const Packet& packet, std::uint16_t streamType, std::uint32_t position = 77) {
    VideoAnalysisContext context;
    context.videoStreamType = streamType;
    context.position = position;
    context.attributes = &attributes;
    context.parameters = &parameters;
    context.formats = &formats;
    context.skipTarget = &skipTarget;
    context.keyPosition = &keyPosition;
    return VideoSequenceAnalyzer::Analyse(packet.data(), context);
  }
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < parameters.Count(); ++i) rows.emplace_back(parameters.Row(i));
    return rows;
  }

  VideoAttributes attributes;
  H264ParameterList parameters;
  VideoFormatBlocks formats;
  std::uint32_t skipTarget = 0, keyPosition = 0;
};

TEST(VideoSequenceAnalyzer, ReadsMpeg2SequenceHeaders) {
  struct Case {
    const char* name;
    Bytes es;
    std::uint16_t width, height, aspectX, aspectY;
    double frameRate;
  };
  Mpeg2SequenceHeader zeroLed;
  zeroLed.leadingZero = true;
  Mpeg2SequenceHeader square;
  square.aspect_ratio_information = 1;
  square.frame_rate_code = 15;
  const Case cases[] = {
      {"1080 lines, 16:9, 29.97", {0, 0, 1, 0xB3, 0x78, 0x04, 0x38, 0x34, 0xFF, 0xFF, 0xE0, 0x18}, 1920, 1080, 16, 9, 29.97},
      {"25 frames per second", {0, 0, 1, 0xB3, 0x78, 0x04, 0x38, 0x33, 0xFF, 0xFF, 0xE0, 0x18}, 1920, 1080, 16, 9, 25.0},
      {"leading zero byte", zeroLed.Build(), 720, 576, 4, 3, 25.0},
      {"square samples leave the aspect unknown", square.Build(), 720, 576, 0, 0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Analysis a;
    ASSERT_TRUE(a.Run(VideoPacket(c.es), 2));
    EXPECT_EQ(a.attributes.width, c.width);
    EXPECT_EQ(a.attributes.height, c.height);
    EXPECT_EQ(a.attributes.aspectX, c.aspectX);
    EXPECT_EQ(a.attributes.aspectY, c.aspectY);
    EXPECT_DOUBLE_EQ(a.attributes.frameRate, c.frameRate);
    EXPECT_EQ(a.skipTarget, 77u);
    EXPECT_EQ(a.keyPosition, 77u);
    EXPECT_EQ(ReadFormatField(a.formats.sd, videoformat::kBitmapWidth), c.width);
    EXPECT_EQ(ReadFormatField(a.formats.sd, videoformat::kSourceBottom), c.height);
    EXPECT_EQ(ReadFormatField(a.formats.sd, videoformat::kAspectX), c.aspectX ? c.aspectX : 4u);
    EXPECT_EQ(a.formats.sd[videoformat::kSequenceHeader + 3], 0xB3);
    EXPECT_EQ(a.formats.sd[videoformat::kSequenceHeader + 12], 0x10) << "only the first 12 bytes are replaced";
  }
}

TEST(VideoSequenceAnalyzer, FormatBlocksStartAsTheFixedData) {
  const VideoFormatBlocks blocks;
  EXPECT_EQ(ReadFormatField(blocks.sd, videoformat::kBitmapWidth), 720u);
  EXPECT_EQ(ReadFormatField(blocks.hd, videoformat::kBitmapHeight), 1088u);
  EXPECT_EQ(ReadFormatField(blocks.hd, videoformat::kAspectX), 16u);
  EXPECT_EQ(ReadFormatField(blocks.sd, 116), 86u);  // cbSequenceHeader
  EXPECT_EQ(blocks.sd[videoformat::kSequenceHeader + 85], 0x00);
  EXPECT_EQ(blocks.sd[videoformat::kSequenceHeader + 80], 0x14);
}

Bytes AudWithSps(const H264Sps& sps, std::uint8_t primaryPicType = 0) {
  Bytes es = H264AccessUnitDelimiter(primaryPicType);
  Append(es, sps.Build());
  return es;
}

TEST(VideoSequenceAnalyzer, ReadsH264SequenceParameterSets) {
  H264Sps baseline;
  baseline.profile_idc = 66;
  baseline.level_idc = 30;
  baseline.pic_width_in_mbs_minus1 = 43;
  baseline.pic_height_in_map_units_minus1 = 35;
  H264Sps interlaced;
  interlaced.profile_idc = 77;
  interlaced.frame_mbs_only_flag = false;
  interlaced.pic_height_in_map_units_minus1 = 33;
  interlaced.frame_cropping_flag = true;
  H264Sps pocType1 = baseline;
  pocType1.pic_order_cnt_type = 1;
  pocType1.offset_for_ref_frame = {1, -2, 3};
  H264Sps scaling;
  scaling.seq_scaling_matrix_present_flag = true;
  // A 31-bit Exp-Golomb value puts runs of 31 zero bits in the payload, which the encoder must
  // break with emulation-prevention bytes; the width wraps in its 16-bit field.
  H264Sps emulated;
  emulated.profile_idc = 66;
  emulated.pic_width_in_mbs_minus1 = 0x7FFFFFFF;
  emulated.pic_height_in_map_units_minus1 = 0;

  struct Case {
    const char* name;
    H264Sps sps;
    std::uint16_t width, height;
  };
  const Case cases[] = {
      {"High, 1920 x 1088 (cropping not applied)", H264Sps{}, 1920, 1088},
      {"Baseline", baseline, 704, 576},
      {"Main, interlaced map units of two macroblock rows", interlaced, 1920, 1088},
      {"picture order type 1", pocType1, 704, 576},
      {"scaling matrix", scaling, 1920, 1088},
      {"emulation prevention", emulated, 0, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Analysis a;
    ASSERT_TRUE(a.Run(VideoPacket(AudWithSps(c.sps)), 27));
    EXPECT_EQ(a.attributes.width, c.width);
    EXPECT_EQ(a.attributes.height, c.height);
    EXPECT_EQ(a.attributes.profileIdc, c.sps.profile_idc);
    EXPECT_EQ(a.attributes.levelIdc, c.sps.level_idc);
    EXPECT_EQ(a.attributes.aspectX, 16);
    EXPECT_DOUBLE_EQ(a.attributes.frameRate, 25.0);
    EXPECT_EQ(ReadFormatField(a.formats.hd, videoformat::kBitmapHeight), c.height);
    EXPECT_EQ(a.skipTarget, 77u);
    if (&c == &cases[5]) {
      EXPECT_EQ(a.Rows()[8], "pic_width_in_mbs_minus1: 2147483647");
      EXPECT_EQ(a.Rows()[10], "frame_mbs_only_flag: 1");
    }
  }
  const Bytes nal = emulated.Build();
  const std::uint8_t escape[] = {0, 0, 3};
  EXPECT_NE(std::search(nal.begin(), nal.end(), std::begin(escape), std::end(escape)), nal.end());
}

TEST(VideoSequenceAnalyzer, ListsTheFieldsOfEachProfile) {
  H264Sps main;
  main.profile_idc = 77;
  main.level_idc = 31;
  Analysis a;
  ASSERT_TRUE(a.Run(VideoPacket(AudWithSps(main)), 27));
  EXPECT_EQ(a.Rows(), (std::vector<std::string>{
                          "profile_idc: 77", "level_idc: 31", "seq_parameter_set_id: 0", "log2_max_frame_num_minus4: 0",
                          "pic_order_cnt_type: 0", "log2_max_pic_order_cnt_lsb_minus4: 2", "num_ref_frames: 1",
                          "gaps_in_frame_num_value_allowed_flag: 0", "pic_width_in_mbs_minus1: 119",
                          "pic_height_in_map_units_minus1: 67", "frame_mbs_only_flag: 1", "direct_8x8_inference_flag: 1",
                          "frame_cropping_flag: 0", "vui_parameters_present_flag: 0"}));

  Analysis high;
  ASSERT_TRUE(high.Run(VideoPacket(AudWithSps(H264Sps{})), 27));
  const std::vector<std::string> rows = high.Rows();
  ASSERT_GE(rows.size(), 9u);
  EXPECT_EQ(std::vector<std::string>(rows.begin() + 3, rows.begin() + 9),
            (std::vector<std::string>{"chroma_format_idc: 1", "bit_depth_luma_minus8: 0", "bit_depth_chroma_minus8: 0",
                                      "qpprime_y_zero_transform_bypass_flag: 0", "seq_scaling_matrix_present_flag: 0",
                                      "log2_max_frame_num_minus4: 0"}));

  // Profile 145 with 4:4:4 chroma, interlacing and VUI aspect information: more than 20 rows.
  H264Sps full;
  full.profile_idc = 145;
  full.chroma_format_idc = 3;
  full.mode_extension_flag = true;
  full.frame_mbs_only_flag = false;
  full.pic_height_in_map_units_minus1 = 33;
  full.vui_parameters_present_flag = true;
  full.aspect_ratio_info_present_flag = true;
  Analysis many;
  ASSERT_TRUE(many.Run(VideoPacket(AudWithSps(full)), 27));
  EXPECT_EQ(many.parameters.Count(), H264ParameterList::kMaxRows);
  EXPECT_EQ(many.Rows()[4], "residual_colour_transform_flag: 0");
  EXPECT_EQ(many.Rows()[7], "mode_extension_flag: 1");
  EXPECT_EQ(many.attributes.width, 1920);
  EXPECT_EQ(many.attributes.height, 1088);

  ASSERT_TRUE(many.Run(VideoPacket(AudWithSps(main)), 27));
  EXPECT_EQ(many.parameters.Count(), H264ParameterList::kMaxRows) << "later analyses never grow the list past 20";
}

TEST(VideoSequenceAnalyzer, RejectsWhatIsNotAKeyFrameStart) {
  struct Case {
    const char* name;
    Packet packet;
    std::uint16_t streamType;
  };
  const Case cases[] = {
      {"delimiter of a P picture", VideoPacket(AudWithSps(H264Sps{}, 1)), 27},
      {"no PES start", TsPacketBuilder(0x100).Pusi().FillPayloadWith(0xFF).Payload(Bytes{1, 2, 3}).Build(), 27},
      {"plain picture data", VideoPacket(Bytes(100, 0x55)), 2},
      {"PES header longer than the packet", VideoPacket(Bytes{0, 0, 1, 0xB3}), 2},
      {"adaptation field longer than the packet", TsPacketBuilder(0x100).Pusi().AdaptationFieldLength(200).Build(), 27},
  };
  Packet tooLong = cases[3].packet;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Packet packet = c.packet;
    if (&c == &cases[3]) {
      packet[12] = 0xFF;  // PES_header_data_length beyond the packet
    }
    Analysis a;
    EXPECT_FALSE(a.Run(packet, c.streamType));
    EXPECT_EQ(a.parameters.Count(), 0u);
    EXPECT_EQ(a.skipTarget, 0u);
    EXPECT_EQ(a.attributes.width, 0);
  }
  (void)tooLong;

  // An MPEG-2 header after H.264 parameters were seen is ignored.
  Analysis a;
  a.attributes.profileIdc = 100;
  EXPECT_FALSE(a.Run(VideoPacket(Mpeg2SequenceHeader{}.Build()), 2));
}

TEST(H264ParameterList, RemarksDescribeRows) {
  struct Case {
    const char* row;
    const char* remark;
  };
  const Case cases[] = {
      {"profile_idc: 66", "Baseline profile"}, {"profile_idc: 77", "Main profile"},
      {"profile_idc: 88", "Extended profile"}, {"profile_idc: 100", "High profile"},
      {"level_idc: 40", "Level 4.0"},          {"level_idc: 9", "Level 9."},
      {"pic_width_in_mbs_minus1: 119", "Width 1920"}, {"pic_height_in_map_units_minus1: 33", "Height 1088"},
      {"frame_mbs_only_flag: 0", "interlaced"}, {"aspect_ratio_idc: 255", "extended SAR"},
      {"aspect_ratio_idc: 9", ""},             {"num_ref_frames: 4", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    H264RemarkState state;
    char remark[64];
    RowRemark(c.row, state, remark, sizeof(remark), nullptr, 0);
    EXPECT_STREQ(remark, c.remark);
  }

  // A progressive frame replaces the height remark above it with macroblock rows.
  H264RemarkState state;
  char height[64], progressive[64];
  RowRemark("pic_height_in_map_units_minus1: 67", state, height, sizeof(height), nullptr, 0);
  EXPECT_STREQ(height, "Height 2176");
  RowRemark("frame_mbs_only_flag: 1", state, progressive, sizeof(progressive), height, sizeof(height));
  EXPECT_STREQ(progressive, "progressive");
  EXPECT_STREQ(height, "Height 1088");
}

TEST(RbspBitReader, RemovesEmulationPreventionAndReadsZerosPastTheEnd) {
  const std::uint8_t escaped[] = {0x00, 0x00, 0x03, 0x01, 0xA0};
  RbspBitReader reader(escaped, sizeof(escaped));
  EXPECT_EQ(reader.Size(), 4u);
  EXPECT_EQ(reader.ReadBits(24), 0x000001u);
  EXPECT_EQ(reader.ReadUe(), 0u);   // 1
  EXPECT_EQ(reader.ReadUe(), 1u);   // 010
  EXPECT_EQ(reader.ReadBits(4), 0u);
  EXPECT_TRUE(reader.IsExhausted());
  EXPECT_EQ(reader.ReadUe(), 0u) << "only zeros follow: capped, not endless";
  EXPECT_EQ(reader.ReadSe(), 0);
}

}  // namespace
}  // namespace tsfilter::test
