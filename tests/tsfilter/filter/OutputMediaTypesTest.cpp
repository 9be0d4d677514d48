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
