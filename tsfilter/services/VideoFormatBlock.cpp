#include "tsfilter/services/VideoFormatBlock.h"

namespace tsfilter {
namespace {

constexpr std::uint8_t kSequenceHeaderBytes[videoformat::kSequenceHeaderSize] = {
    0x00, 0x00, 0x01, 0xB3, 0x2D, 0x01, 0xE0, 0x24, 0x09, 0xC4, 0x23, 0x81, 0x10, 0x11, 0x11, 0x12, 0x12, 0x12,
    0x13, 0x13, 0x13, 0x13, 0x14, 0x14, 0x14, 0x14, 0x14, 0x15, 0x15, 0x15, 0x15, 0x15, 0x15, 0x16, 0x16, 0x16,
    0x16, 0x16, 0x16, 0x16, 0x17, 0x17, 0x17, 0x17, 0x17, 0x17, 0x17, 0x17, 0x18, 0x18, 0x18, 0x19, 0x18, 0x18,
    0x18, 0x19, 0x1A, 0x1A, 0x1A, 0x1A, 0x19, 0x1B, 0x1B, 0x1B, 0x1B, 0x1B, 0x1C, 0x1C, 0x1C, 0x1C, 0x1E, 0x1E,
    0x1E, 0x1F, 0x1F, 0x21, 0x00, 0x00, 0x01, 0xB5, 0x14, 0x82, 0x00, 0x01, 0x00, 0x00};

void Write16(VideoFormatBlock& block, std::size_t offset, std::uint16_t value) {
  block[offset] = static_cast<std::uint8_t>(value);
  block[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Write64(VideoFormatBlock& block, std::size_t offset, std::uint64_t value) {
  WriteFormatField(block, offset, static_cast<std::uint32_t>(value));
  WriteFormatField(block, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

VideoFormatBlock MakeBlock(std::uint32_t width, std::uint32_t height, std::uint32_t aspectX, std::uint32_t aspectY) {
  VideoFormatBlock block{};
  SetFormatPictureSize(block, width, height);       // rcSource (0, 0, w, h), biWidth, biHeight
  WriteFormatField(block, 32, 4000000);              // dwBitRate
  Write64(block, 40, 333667);                        // AvgTimePerFrame
  WriteFormatField(block, videoformat::kAspectX, aspectX);
  WriteFormatField(block, videoformat::kAspectY, aspectY);
  WriteFormatField(block, 72, 40);                   // biSize
  Write16(block, 84, 0);                             // biPlanes
  Write16(block, 86, 0);                             // biBitCount
  WriteFormatField(block, 96, 2000);                 // biXPelsPerMeter
  WriteFormatField(block, 100, 53031);               // biYPelsPerMeter
  WriteFormatField(block, 112, 455832);              // dwStartTimeCode
  WriteFormatField(block, 116, videoformat::kSequenceHeaderSize);  // cbSequenceHeader
  WriteFormatField(block, 120, 2);                   // dwProfile
  WriteFormatField(block, 124, 2);                   // dwLevel
  for (std::size_t i = 0; i < videoformat::kSequenceHeaderSize; ++i)
    block[videoformat::kSequenceHeader + i] = kSequenceHeaderBytes[i];
  return block;
}

}  // namespace

void WriteFormatField(VideoFormatBlock& block, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) block[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t ReadFormatField(const VideoFormatBlock& block, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{block[offset + i]} << (8 * i);
  return value;
}

void SetFormatPictureSize(VideoFormatBlock& block, std::uint32_t width, std::uint32_t height) {
  WriteFormatField(block, videoformat::kSourceRight, width);
  WriteFormatField(block, videoformat::kSourceBottom, height);
  WriteFormatField(block, videoformat::kBitmapWidth, width);
  WriteFormatField(block, videoformat::kBitmapHeight, height);
}

VideoFormatBlock MakeSdVideoFormatBlock() { return MakeBlock(720, 480, 4, 3); }
VideoFormatBlock MakeHdVideoFormatBlock() { return MakeBlock(1920, 1088, 16, 9); }

}  // namespace tsfilter
