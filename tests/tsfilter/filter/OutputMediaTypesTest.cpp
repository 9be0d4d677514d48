#include "tsfilter/filter/OutputMediaTypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/dshow/Guids.h"

namespace tsfilter {
namespace {

std::uint32_t Dword(const BYTE* block, std::size_t offset) {
  std::uint32_t value;
  std::memcpy(&value, block + offset, 4);
  return value;
}

TEST(OutputMediaTypesTest, EachOutputHasItsTypeAndPinName) {
  struct Case {
    OutputKind kind;
    GUID major, subtype, format;
    ULONG formatLength;
    std::u16string pinName;
  };
  const Case cases[] = {
      {OutputKind::Mpeg2Video, MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video, 218, u"Video"},
      {OutputKind::H264Video, MEDIATYPE_Video, MEDIASUBTYPE_AVC1, FORMAT_MPEG2Video, 218, u"H.264"},
      {OutputKind::MpegAudio, MEDIATYPE_Audio, MakeGuid("{00000050-0000-0010-8000-00AA00389B71}"), FORMAT_WaveFormatEx,
       40, u"Audio"},
      {OutputKind::Ac3Audio, MEDIATYPE_Audio, MakeGuid("{E06D802C-DB46-11CF-B4D1-00805F6CBBEA}"), FORMAT_WaveFormatEx,
       40, u"AC3"},
      {OutputKind::AacAudio, MEDIATYPE_Audio, MakeGuid("{AACE71A1-8259-4250-8583-49613AF31C93}"), FORMAT_WaveFormatEx,
       40, u"AAC"},
  };
  VideoFormatBlocks blocks;
  for (const Case& c : cases) {
    CMediaType type;
    ASSERT_TRUE(MakeOutputMediaType(c.kind, blocks, type));
    EXPECT_EQ(type.majortype, c.major) << static_cast<int>(c.kind);
    EXPECT_EQ(type.subtype, c.subtype) << static_cast<int>(c.kind);
    EXPECT_EQ(type.formattype, c.format) << static_cast<int>(c.kind);
    EXPECT_EQ(type.cbFormat, c.formatLength);
    EXPECT_TRUE(type.bFixedSizeSamples);
    EXPECT_FALSE(type.bTemporalCompression);
    EXPECT_EQ(std::u16string(OutputPinName(c.kind)), c.pinName);
  }
}

TEST(OutputMediaTypesTest, AudioBlockIsByteExact) {
  const std::vector<std::uint8_t> expected = {
      0x50, 0x00, 0x02, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x00, 0x7D, 0x00, 0x00, 0x00, 0x03,
      0x00, 0x00, 0x16, 0x00, 0x02, 0x00, 0x00, 0xE8, 0x03, 0x00, 0x01, 0x00, 0x01, 0x00,
      0x01, 0x00, 0x1C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  const AudioFormatBlock block = MakeAudioFormatBlock();
  EXPECT_EQ(std::vector<std::uint8_t>(block.begin(), block.end()), expected);
}

// The fixed video block as the hosts expect it, field by field (MPEG2VIDEOINFO, little-endian).
std::vector<std::uint8_t> ExpectedVideoBlock(std::uint32_t width, std::uint32_t height, std::uint32_t aspectX,
                                             std::uint32_t aspectY) {
  std::vector<std::uint8_t> block;
  auto put = [&](std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) block.push_back(i < 8 ? static_cast<std::uint8_t>(value >> (8 * i)) : 0);
  };
  put(0, 4), put(0, 4), put(width, 4), put(height, 4);  // rcSource
  put(0, 16);                                           // rcTarget
  put(4000000, 4), put(0, 4), put(333667, 8);           // bit rate, bit error rate, time per frame
  put(0, 4), put(0, 4), put(aspectX, 4), put(aspectY, 4), put(0, 4), put(0, 4);
  put(40, 4), put(width, 4), put(height, 4), put(0, 2), put(0, 2), put(0, 4), put(0, 4);  // BITMAPINFOHEADER
  put(2000, 4), put(53031, 4), put(0, 4), put(0, 4);
  put(455832, 4), put(86, 4), put(2, 4), put(2, 4), put(0, 4);  // start time code, header size, profile, level, flags
  const std::vector<std::uint8_t> header = {
      0x00, 0x00, 0x01, 0xB3, 0x2D, 0x01, 0xE0, 0x24, 0x09, 0xC4, 0x23, 0x81, 0x10, 0x11, 0x11, 0x12, 0x12, 0x12,
      0x13, 0x13, 0x13, 0x13, 0x14, 0x14, 0x14, 0x14, 0x14, 0x15, 0x15, 0x15, 0x15, 0x15, 0x15, 0x16, 0x16, 0x16,
      0x16, 0x16, 0x16, 0x16, 0x17, 0x17, 0x17, 0x17, 0x17, 0x17, 0x17, 0x17, 0x18, 0x18, 0x18, 0x19, 0x18, 0x18,
      0x18, 0x19, 0x1A, 0x1A, 0x1A, 0x1A, 0x19, 0x1B, 0x1B, 0x1B, 0x1B, 0x1B, 0x1C, 0x1C, 0x1C, 0x1C, 0x1E, 0x1E,
      0x1E, 0x1F, 0x1F, 0x21, 0x00, 0x00, 0x01, 0xB5, 0x14, 0x82, 0x00, 0x01, 0x00, 0x00};
  block.insert(block.end(), header.begin(), header.end());
  return block;
}

TEST(OutputMediaTypesTest, VideoBlocksAreByteExactBeforeAnyAnalysis) {
  struct Case {
    OutputKind kind;
    std::vector<std::uint8_t> expected;
  };
  const Case cases[] = {
      {OutputKind::Mpeg2Video, ExpectedVideoBlock(720, 480, 4, 3)},
      {OutputKind::H264Video, ExpectedVideoBlock(1920, 1088, 16, 9)},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.expected.size(), 218u);
    CMediaType type;
    ASSERT_TRUE(MakeOutputMediaType(c.kind, VideoFormatBlocks{}, type));
    ASSERT_EQ(type.FormatLength(), 218u);
    EXPECT_EQ(std::vector<std::uint8_t>(type.Format(), type.Format() + 218), c.expected) << static_cast<int>(c.kind);
  }
}

TEST(OutputMediaTypesTest, VideoTypesCarryTheCurrentPictureSize) {
  VideoFormatBlocks blocks;
  SetFormatPictureSize(blocks.sd, 704, 576);
  CMediaType type;
  ASSERT_TRUE(MakeOutputMediaType(OutputKind::Mpeg2Video, blocks, type));
  const BYTE* block = type.Format();
  EXPECT_EQ(Dword(block, 8), 704u);    // rcSource right
  EXPECT_EQ(Dword(block, 12), 576u);   // rcSource bottom
  EXPECT_EQ(Dword(block, 76), 704u);   // biWidth
  EXPECT_EQ(Dword(block, 80), 576u);   // biHeight
  EXPECT_EQ(Dword(block, 116), 86u);   // cbSequenceHeader
  EXPECT_EQ(Dword(block, 132), 0xB3010000u);

  ASSERT_TRUE(MakeOutputMediaType(OutputKind::H264Video, blocks, type));
  EXPECT_EQ(Dword(type.Format(), 8), 1920u);
  EXPECT_EQ(Dword(type.Format(), 80), 1088u);
  EXPECT_EQ(Dword(type.Format(), 56), 16u);  // aspect x
}

}  // namespace
}  // namespace tsfilter
