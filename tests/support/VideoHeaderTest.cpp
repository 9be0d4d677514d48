#include <gtest/gtest.h>

#include <string>

#include "tests/support/TsBuilder.h"

namespace testsupport {
namespace {

std::string BitString(const BitWriter& bits) {
  std::string s;
  for (size_t i = 0; i < bits.BitCount(); ++i) s += (bits.Data()[i / 8] >> (7 - i % 8)) & 1 ? '1' : '0';
  return s;
}

TEST(BitWriterTest, ExpGolombCodes) {
  struct Case {
    int64_t value;
    bool isSigned;
    const char* bits;
  };
  const Case cases[] = {
      {0, false, "1"},       {1, false, "010"},      {2, false, "011"},   {3, false, "00100"},
      {6, false, "00111"},   {7, false, "0001000"},  {119, false, "0000001111000"},
      {0, true, "1"},        {1, true, "010"},       {-1, true, "011"},   {2, true, "00100"},
      {-2, true, "00101"},
      {0xFFFFFFFE, false, "000000000000000000000000000000011111111111111111111111111111111"},  // 31 zeros at most
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    BitWriter bits;
    if (c.isSigned) bits.Se(static_cast<int32_t>(c.value));
    else bits.Ue(static_cast<uint32_t>(c.value));
    EXPECT_EQ(BitString(bits), c.bits);
  }
}

TEST(BitWriterTest, FieldsAndTrailingBits) {
  BitWriter bits;
  bits.U(3, 0b101).Flag(true).U(12, 0xABC);
  EXPECT_EQ(bits.BitCount(), 16u);
  EXPECT_EQ(bits.Data(), (Bytes{0xBA, 0xBC}));
  bits.U(2, 0).TrailingBits();
  EXPECT_EQ(bits.Data(), (Bytes{0xBA, 0xBC, 0x20}));
  EXPECT_TRUE(bits.IsAligned());
}

TEST(H264NalTest, EmulationPrevention) {
  struct Case {
    Bytes rbsp;
    Bytes nal;
  };
  const Case cases[] = {
      {{0x00, 0x00, 0x00}, {0x00, 0x00, 0x03, 0x00}},
      {{0x00, 0x00, 0x01}, {0x00, 0x00, 0x03, 0x01}},
      {{0x00, 0x00, 0x03}, {0x00, 0x00, 0x03, 0x03}},
      {{0x00, 0x00, 0x04}, {0x00, 0x00, 0x04}},
      {{0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00}},
      {{0x00, 0x01, 0x00, 0x00}, {0x00, 0x01, 0x00, 0x00}},
  };
  for (const Case& c : cases) EXPECT_EQ(AddEmulationPrevention(c.rbsp), c.nal);
  EXPECT_EQ(H264AccessUnitDelimiter(0), (Bytes{0x00, 0x00, 0x00, 0x01, 0x09, 0x10}));
  EXPECT_EQ(H264AccessUnitDelimiter(1), (Bytes{0x00, 0x00, 0x00, 0x01, 0x09, 0x30}));
}

TEST(H264SpsTest, HighProfileFieldsOnlyForHighProfiles) {
  H264Sps main;
  main.profile_idc = 77;
  H264Sps high = main;
  high.profile_idc = 100;
  // High adds chroma_format_idc ue(1) "010", two ue(0) bit depths and two flags: 7 bits.
  const Bytes mainRbsp = main.Rbsp();
  const Bytes highRbsp = high.Rbsp();
  EXPECT_EQ(mainRbsp[0], 77);
  EXPECT_EQ(highRbsp[0], 100);
  EXPECT_EQ(highRbsp[2], 40);
  const Bytes nal = high.Build();
  EXPECT_EQ(Bytes(nal.begin(), nal.begin() + 5), (Bytes{0x00, 0x00, 0x00, 0x01, 0x67}));
}

TEST(Mpeg2SequenceHeaderTest, FieldsAtTheirBitPositions) {
  Mpeg2SequenceHeader hd;
  hd.horizontal_size_value = 1920;
  hd.vertical_size_value = 1080;
  hd.aspect_ratio_information = 3;
  hd.frame_rate_code = 4;
  const Bytes bytes = hd.Build();
  ASSERT_EQ(bytes.size(), 12u);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes{0x00, 0x00, 0x01, 0xB3, 0x78, 0x04, 0x38, 0x34}));
  hd.leadingZero = true;
  const Bytes withZero = hd.Build();
  EXPECT_EQ(Bytes(withZero.begin(), withZero.begin() + 5), (Bytes{0x00, 0x00, 0x00, 0x01, 0xB3}));
}

TEST(Ac3FrameHeaderTest, FrameSizesFollowBitRateAndSampleRate) {
  // kbit/s for each frmsizecod / 2.
  const int kbps[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
  for (uint8_t code = 0; code < 38; ++code) {
    SCOPED_TRACE(int{code});
    Ac3FrameHeader h;
    h.frmsizecod = code;
    const int rate = kbps[code / 2];
    // 1536 samples per frame: bytes = kbit/s * 1000 / 8 * 1536 / sample rate.
    h.fscod = 0;
    EXPECT_EQ(h.FrameBytes(), static_cast<size_t>(rate * 4));
    h.fscod = 2;
    EXPECT_EQ(h.FrameBytes(), static_cast<size_t>(rate * 6));
    h.fscod = 1;  // 44.1 kHz: whole 16-bit words, rounded down, plus one for odd codes
    EXPECT_EQ(h.FrameBytes(), static_cast<size_t>(2 * (rate * 192000 / 2 / 44100 + (code & 1))));
    EXPECT_EQ(h.Frame().size(), h.FrameBytes());
  }
  Ac3FrameHeader bad;
  bad.frmsizecod = 38;
  EXPECT_EQ(bad.FrameBytes(), 0u);
  bad.frmsizecod = 0;
  bad.fscod = 3;
  EXPECT_EQ(bad.FrameBytes(), 0u);

  Ac3FrameHeader surround;
  surround.fscod = 0;
  surround.frmsizecod = 30;
  surround.bsid = 8;
  surround.bsmod = 1;
  surround.acmod = 7;
  const Bytes b = surround.Build();
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 7), (Bytes{0x0B, 0x77, 0x00, 0x00, 0x1E, 0x41, 0xE0}));
}

}  // namespace
}  // namespace testsupport
