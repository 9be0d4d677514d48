#include "tsfilter/services/VideoSequenceAnalyzer.h"

#include <cstddef>

#include "tsfilter/services/RbspBitReader.h"

namespace tsfilter {
namespace {

constexpr std::size_t kPacket = 188;
constexpr std::uint8_t kSequenceHeaderCode = 0xB3;
constexpr std::size_t kSequenceHeaderBytes = 12;
constexpr std::uint16_t kH264StreamType = 27;

// Offset of the elementary data E of the PES packet this packet starts; kPacket when there is none.
std::size_t ElementaryDataOffset(const std::uint8_t* p) {
  const std::size_t afLength = p[4];
  const std::size_t pes = afLength == 0 ? 4 : 5 + afLength;
  if (pes + 9 > kPacket) return kPacket;
  if (p[pes] != 0 || p[pes + 1] != 0 || p[pes + 2] != 1) return kPacket;
  const std::size_t e = (p[pes + 6] & 0xC0) == 0x80 ? pes + 9 + p[pes + 8] : pes + 6;
  if (e >= kPacket) return kPacket;
  // A zero byte ahead of the start code: 00 00 00 01 B3.
  if (e + 4 < kPacket && p[e + 4] == kSequenceHeaderCode) return e + 1;
  return e;
}

void MarkKeyPosition(const VideoAnalysisContext& c) {
  *c.skipTarget = c.position;
  *c.keyPosition = c.position;
}

bool AnalyseSequenceHeader(const std::uint8_t* e, const VideoAnalysisContext& c) {
  MarkKeyPosition(c);
  VideoAttributes& a = *c.attributes;
  a.width = static_cast<std::uint16_t>((e[4] << 4) | (e[5] >> 4));
  a.height = static_cast<std::uint16_t>(((e[5] & 0x0F) << 8) | e[6]);
  bool aspectMapped = true;
  switch (e[7] >> 4) {
    case 2: a.aspectX = 4; a.aspectY = 3; break;
    case 3: a.aspectX = 16; a.aspectY = 9; break;
    case 4: a.aspectX = 20; a.aspectY = 9; break;
    default: aspectMapped = false; break;  // the analysis runs again on a later packet
  }
  static constexpr double kFrameRates[] = {0.0, 23.976, 24.0, 25.0, 29.97, 30.0, 50.0, 59.94, 60.0};
  const unsigned rateCode = e[7] & 0x0F;
  if (rateCode >= 1 && rateCode <= 8) a.frameRate = kFrameRates[rateCode];

  VideoFormatBlock& sd = c.formats->sd;
  SetFormatPictureSize(sd, a.width, a.height);
  if (aspectMapped) {
    WriteFormatField(sd, videoformat::kAspectX, a.aspectX);
    WriteFormatField(sd, videoformat::kAspectY, a.aspectY);
  }
  for (std::size_t i = 0; i < kSequenceHeaderBytes; ++i) sd[videoformat::kSequenceHeader + i] = e[i];
  return true;
}

// Reads past a scaling list (ITU-T H.264, 7.3.2.1.1.1); it produces no row.
void SkipScalingList(RbspBitReader& r, int size) {
  int lastScale = 8;
  int nextScale = 8;
  for (int j = 0; j < size; ++j) {
    if (nextScale != 0) {
      const std::int64_t delta = r.ReadSe();
      nextScale = static_cast<int>(((lastScale + delta) % 256 + 256) % 256);
    }
    lastScale = nextScale == 0 ? lastScale : nextScale;
  }
}

bool IsHighProfile(std::uint32_t profile) {
  return profile == 100 || profile == 110 || profile == 122 || profile == 144 || profile == 145;
}

void ReadSequenceParameterSet(RbspBitReader& r, const VideoAnalysisContext& c) {
  H264ParameterList& rows = *c.parameters;
  auto ue = [&](const char* name) {
    const std::uint32_t v = r.ReadUe();
    rows.AddRow(name, v);
    return v;
  };
  auto flag = [&](const char* name) {
    const std::uint32_t v = r.ReadBits(1);
    rows.AddRow(name, v);
    return v;
  };

  const std::uint32_t profile = r.ByteAt(0);
  const std::uint32_t level = r.ByteAt(2);  // byte 1 holds the constraint flags
  rows.AddRow("profile_idc", profile);
  rows.AddRow("level_idc", level);
  r.SeekToByte(3);
  ue("seq_parameter_set_id");
  if (IsHighProfile(profile)) {
    const std::uint32_t chroma = ue("chroma_format_idc");
    if (chroma == 3) flag("residual_colour_transform_flag");
    ue("bit_depth_luma_minus8");
    ue("bit_depth_chroma_minus8");
    if (profile == 145) flag("mode_extension_flag");
    flag("qpprime_y_zero_transform_bypass_flag");
    if (flag("seq_scaling_matrix_present_flag")) {
      const int lists = chroma == 3 ? 12 : 8;
      for (int i = 0; i < lists; ++i)
        if (r.ReadBits(1)) SkipScalingList(r, i < 6 ? 16 : 64);
    }
  }
  ue("log2_max_frame_num_minus4");
  const std::uint32_t pocType = ue("pic_order_cnt_type");
  if (pocType == 0) {
    ue("log2_max_pic_order_cnt_lsb_minus4");
  } else if (pocType == 1) {
    r.ReadBits(1);  // delta_pic_order_always_zero_flag
    r.ReadSe();     // offset_for_non_ref_pic
    r.ReadSe();     // offset_for_top_to_bottom_field
    const std::uint32_t cycle = r.ReadUe();
    for (std::uint32_t i = 0; i < cycle && i < 256 && !r.IsExhausted(); ++i) r.ReadSe();
  }
  ue("num_ref_frames");
  flag("gaps_in_frame_num_value_allowed_flag");
  const std::uint64_t widthInMbs = std::uint64_t{ue("pic_width_in_mbs_minus1")} + 1;
  const std::uint64_t heightInMapUnits = std::uint64_t{ue("pic_height_in_map_units_minus1")} + 1;
  const std::uint32_t frameMbsOnly = flag("frame_mbs_only_flag");
  if (!frameMbsOnly) flag("mb_adaptive_frame_field_flag");
  flag("direct_8x8_inference_flag");
  if (flag("frame_cropping_flag")) {
    for (int i = 0; i < 4; ++i) r.ReadUe();  // cropping offsets: not applied to width or height
  }
  if (flag("vui_parameters_present_flag") && flag("aspect_ratio_info_present_flag")) {
    const std::uint32_t idc = r.ReadBits(8);
    rows.AddRow("aspect_ratio_idc", idc);
  }

  VideoAttributes& a = *c.attributes;
  std::uint64_t height = heightInMapUnits * 32;
  if (frameMbsOnly) height /= 2;
  a.profileIdc = static_cast<std::uint8_t>(profile);
  a.levelIdc = static_cast<std::uint8_t>(level);
  a.width = static_cast<std::uint16_t>(widthInMbs * 16);
  a.height = static_cast<std::uint16_t>(height);
  a.frameRate = 25.0;  // the VUI timing is not evaluated
  a.aspectX = 16;
  a.aspectY = 9;
  SetFormatPictureSize(c.formats->hd, a.width, a.height);
}

bool AnalyseSequenceParameterSet(const std::uint8_t* p, std::size_t e, const VideoAnalysisContext& c) {
  if (c.videoStreamType == kH264StreamType) {
    while (e + 3 <= kPacket && !(p[e] == 0 && p[e + 1] == 0 && p[e + 2] == 0)) ++e;
  }
  // Access unit delimiter with primary_pic_type 0 (I slices only) and its stop bit.
  if (e + 6 > kPacket || p[e + 4] != 0x09 || p[e + 5] != 0x10) return false;
  MarkKeyPosition(c);
  // E[6..9] hold the SPS's start code and E[10] its NAL header; neither is checked.
  const std::size_t payload = e + 11;
  RbspBitReader reader(p + (payload < kPacket ? payload : kPacket), payload < kPacket ? kPacket - payload : 0);
  ReadSequenceParameterSet(reader, c);
  return true;
}

}  // namespace

bool VideoSequenceAnalyzer::Analyse(const std::uint8_t* packet, const VideoAnalysisContext& context) {
  const std::size_t e = ElementaryDataOffset(packet);
  if (e >= kPacket) return false;
  if (e + 4 <= kPacket && packet[e + 3] == kSequenceHeaderCode && context.attributes->profileIdc == 0) {
    if (e + kSequenceHeaderBytes > kPacket) return false;
    return AnalyseSequenceHeader(packet + e, context);
  }
  return AnalyseSequenceParameterSet(packet, e, context);
}

}  // namespace tsfilter
