#include "tests/support/H264Sps.h"

#include <algorithm>
#include <array>

#include "tests/support/BitWriter.h"
#include "tests/support/H264Nal.h"

namespace testsupport {

bool H264Sps::HasChromaFields() const {
  static constexpr std::array<uint8_t, 15> kProfiles{100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135, 144, 145};
  if (chromaFields) return *chromaFields;
  return std::find(kProfiles.begin(), kProfiles.end(), profile_idc) != kProfiles.end();
}

Bytes H264Sps::Rbsp() const {
  BitWriter bits;
  bits.U(8, profile_idc).U(8, constraint_flags).U(8, level_idc).Ue(seq_parameter_set_id);
  if (HasChromaFields()) {
    bits.Ue(chroma_format_idc);
    if (chroma_format_idc == 3) bits.Flag(separate_colour_plane_flag);
    bits.Ue(bit_depth_luma_minus8).Ue(bit_depth_chroma_minus8);
    if (mode_extension_flag) bits.Flag(*mode_extension_flag);
    bits.Flag(qpprime_y_zero_transform_bypass_flag).Flag(seq_scaling_matrix_present_flag);
    if (seq_scaling_matrix_present_flag) {
      const int lists = chroma_format_idc == 3 ? 12 : 8;
      for (int i = 0; i < lists; ++i) bits.Flag(false);  // seq_scaling_list_present_flag
    }
  }
  bits.Ue(log2_max_frame_num_minus4).Ue(pic_order_cnt_type);
  if (pic_order_cnt_type == 0) {
    bits.Ue(log2_max_pic_order_cnt_lsb_minus4);
  } else if (pic_order_cnt_type == 1) {
    bits.Flag(delta_pic_order_always_zero_flag).Se(offset_for_non_ref_pic).Se(offset_for_top_to_bottom_field);
    bits.Ue(static_cast<uint32_t>(offset_for_ref_frame.size()));
    for (int32_t offset : offset_for_ref_frame) bits.Se(offset);
  }
  bits.Ue(num_ref_frames).Flag(gaps_in_frame_num_value_allowed_flag);
  bits.Ue(pic_width_in_mbs_minus1).Ue(pic_height_in_map_units_minus1);
  bits.Flag(frame_mbs_only_flag);
  if (!frame_mbs_only_flag) bits.Flag(mb_adaptive_frame_field_flag);
  bits.Flag(direct_8x8_inference_flag).Flag(frame_cropping_flag);
  if (frame_cropping_flag) {
    bits.Ue(frame_crop_left_offset).Ue(frame_crop_right_offset).Ue(frame_crop_top_offset).Ue(frame_crop_bottom_offset);
  }
  bits.Flag(vui_parameters_present_flag);
  if (vui_parameters_present_flag) {
    bits.Flag(aspect_ratio_info_present_flag);
    if (aspect_ratio_info_present_flag) {
      bits.U(8, aspect_ratio_idc);
      if (aspect_ratio_idc == 255) bits.U(16, sar_width).U(16, sar_height);
    }
    bits.Flag(false /* overscan_info_present_flag */).Flag(false /* video_signal_type_present_flag */);
    bits.Flag(false /* chroma_loc_info_present_flag */).Flag(timing_info_present_flag);
    if (timing_info_present_flag) bits.U(32, num_units_in_tick).U(32, time_scale).Flag(true /* fixed_frame_rate */);
    bits.Flag(false /* nal_hrd */).Flag(false /* vcl_hrd */).Flag(false /* pic_struct_present */);
    bits.Flag(false /* bitstream_restriction_flag */);
  }
  bits.TrailingBits();
  return bits.Data();
}

Bytes H264Sps::Build() const { return NalUnit(3, 7, Rbsp()); }

}  // namespace testsupport
