#pragma once
// The two video format blocks the filter's output media types carry (MPEG2VIDEOINFO, 218 bytes,
// little-endian): the SD block for MPEG-2 video and the HD block for H.264. They start as fixed
// data; the video sequence analyzer writes the real picture size (and the MPEG-2 aspect ratio and
// sequence header start) into them.
#include <array>
#include <cstddef>
#include <cstdint>

namespace tsfilter {

inline constexpr std::size_t kVideoFormatBlockSize = 218;
using VideoFormatBlock = std::array<std::uint8_t, kVideoFormatBlockSize>;

// Byte offsets inside the block.
namespace videoformat {
inline constexpr std::size_t kSourceRight = 8;
inline constexpr std::size_t kSourceBottom = 12;
inline constexpr std::size_t kAspectX = 56;
inline constexpr std::size_t kAspectY = 60;
inline constexpr std::size_t kBitmapWidth = 76;
inline constexpr std::size_t kBitmapHeight = 80;
inline constexpr std::size_t kSequenceHeader = 132;  // 86 bytes of sequence header and extension
inline constexpr std::size_t kSequenceHeaderSize = 86;
}  // namespace videoformat

VideoFormatBlock MakeSdVideoFormatBlock();  // 720 x 480, 4:3
VideoFormatBlock MakeHdVideoFormatBlock();  // 1920 x 1088, 16:9

struct VideoFormatBlocks {
  VideoFormatBlock sd = MakeSdVideoFormatBlock();
  VideoFormatBlock hd = MakeHdVideoFormatBlock();
};

// Little-endian 32-bit field access.
void WriteFormatField(VideoFormatBlock& block, std::size_t offset, std::uint32_t value);
std::uint32_t ReadFormatField(const VideoFormatBlock& block, std::size_t offset);

// Picture size into rcSource right/bottom and biWidth/biHeight.
void SetFormatPictureSize(VideoFormatBlock& block, std::uint32_t width, std::uint32_t height);

}  // namespace tsfilter
