#pragma once
// H.264 sequence parameter set with the fields tests vary. Build() gives the NAL unit (4-byte
// start code, header 0x67, payload with emulation prevention); Rbsp() the raw bits.
//
//   H264Sps sps; sps.profile_idc = 77; sps.frame_mbs_only_flag = false;
//   Bytes es = H264AccessUnitDelimiter(0); Append(es, sps.Build());

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/support/Bytes.h"

namespace testsupport {

struct H264Sps {
  uint8_t profile_idc = 100;
  uint8_t constraint_flags = 0;  // the byte after profile_idc
  uint8_t level_idc = 40;
  uint32_t seq_parameter_set_id = 0;

  // chroma_format_idc .. seq_scaling_matrix_present_flag are written for the high profiles
  // (100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135 and the older 144, 145) unless
  // forced here.
  std::optional<bool> chromaFields;
  uint32_t chroma_format_idc = 1;
  bool separate_colour_plane_flag = false;  // written when chroma_format_idc == 3
  uint32_t bit_depth_luma_minus8 = 0;
  uint32_t bit_depth_chroma_minus8 = 0;
  std::optional<bool> mode_extension_flag;  // an extra flag after the bit depths, when set
  bool qpprime_y_zero_transform_bypass_flag = false;
  bool seq_scaling_matrix_present_flag = false;  // lists are then written as absent

  uint32_t log2_max_frame_num_minus4 = 0;
  uint32_t pic_order_cnt_type = 0;
  uint32_t log2_max_pic_order_cnt_lsb_minus4 = 2;  // type 0
  bool delta_pic_order_always_zero_flag = false;   // type 1
  int32_t offset_for_non_ref_pic = 0;              // type 1
  int32_t offset_for_top_to_bottom_field = 0;      // type 1
  std::vector<int32_t> offset_for_ref_frame;       // type 1
  uint32_t num_ref_frames = 1;
  bool gaps_in_frame_num_value_allowed_flag = false;
  uint32_t pic_width_in_mbs_minus1 = 119;        // 1920
  uint32_t pic_height_in_map_units_minus1 = 67;  // 1088 progressive
  bool frame_mbs_only_flag = true;
  bool mb_adaptive_frame_field_flag = false;
  bool direct_8x8_inference_flag = true;
  bool frame_cropping_flag = false;
  uint32_t frame_crop_left_offset = 0, frame_crop_right_offset = 0;
  uint32_t frame_crop_top_offset = 0, frame_crop_bottom_offset = 4;
  bool vui_parameters_present_flag = false;
  bool aspect_ratio_info_present_flag = false;
  uint8_t aspect_ratio_idc = 1;
  uint16_t sar_width = 1, sar_height = 1;  // aspect_ratio_idc 255
  bool timing_info_present_flag = false;
  uint32_t num_units_in_tick = 1, time_scale = 50;

  bool HasChromaFields() const;
  Bytes Rbsp() const;
  Bytes Build() const;
};

}  // namespace testsupport
