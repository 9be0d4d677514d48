#include "wavwriter/WavHeader.h"

#include <gtest/gtest.h>

#include "tests/wavwriter/WavBytes.h"

namespace {

std::vector<BYTE> BuildHeader(const std::vector<BYTE>& format, std::uint32_t dataBytes, const Ac3FrameHeader& frame) {
  std::vector<BYTE> out(format.size() + WavHeader::kFixedBytes);
  EXPECT_EQ(WavHeader::Build(format, dataBytes, frame, out), S_OK);
  return out;
}

Ac3FrameHeader Frame(BYTE frmsizecod, BYTE acmod) {
  Ac3FrameHeader frame;
  frame.fscod = 1;
  frame.frmsizecod = frmsizecod;
  frame.acmod = acmod;
  return frame;
}

TEST(WavHeaderTest, LaysOutChunksAroundTheFormatBlock) {
  const auto format = MakeWaveFormat(0x0055, 2, 44100, 16000, 1, 0);
  const auto header = BuildHeader(format, 1000, Ac3FrameHeader{});
  ASSERT_EQ(header.size(), 46u);
  EXPECT_EQ(ReadTag(header, 0), "RIFF");
  EXPECT_EQ(ReadLe32(header, 4), 1000u + 46 - 8);
  EXPECT_EQ(ReadTag(header, 8), "WAVE");
  EXPECT_EQ(ReadTag(header, 12), "fmt ");
  EXPECT_EQ(ReadLe32(header, 16), 18u);
  EXPECT_EQ(std::vector<BYTE>(header.begin() + 20, header.begin() + 38), format) << "no frame header: format as given";
  EXPECT_EQ(ReadTag(header, 38), "data");
  EXPECT_EQ(ReadLe32(header, 42), 1000u);
}

TEST(WavHeaderTest, OddFormatBlockGetsNoPadByte) {
  const auto format = MakeWaveFormat(0x2000, 2, 48000, 0, 1, 0, {0xAA});
  const auto header = BuildHeader(format, 7, Ac3FrameHeader{});
  ASSERT_EQ(header.size(), 47u);
  EXPECT_EQ(ReadLe32(header, 16), 19u);
  EXPECT_EQ(header[38], 0xAA);
  EXPECT_EQ(ReadTag(header, 39), "data");
  EXPECT_EQ(ReadLe32(header, 43), 7u);
}

TEST(WavHeaderTest, FirstFrameHeaderCorrectsTagChannelsAndAverageRate) {
  const struct {
    const char* name;
    Ac3FrameHeader frame;
    WORD tag;
    WORD channels;
    DWORD avgBytesPerSec;
  } cases[] = {
      {"no frame seen", Ac3FrameHeader{}, 0x0050, 6, 12345},
      {"384 kbit/s 3/2", Frame(28, 7), 0x2000, 5, 48000},
      {"640 kbit/s", Frame(36, 2), 0x2000, 2, 80000},
      {"dual mono 32 kbit/s", Frame(1, 0), 0x2000, 2, 4000},
      {"mono 448 kbit/s", Frame(31, 1), 0x2000, 1, 56000},
  };
  const auto format = MakeWaveFormat(0x0050, 6, 48000, 12345, 4, 16);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto header = BuildHeader(format, 0, c.frame);
    EXPECT_EQ(ReadLe16(header, 20), c.tag);
    EXPECT_EQ(ReadLe16(header, 22), c.channels);
    EXPECT_EQ(ReadLe32(header, 24), 48000u) << "sample rate stays";
    EXPECT_EQ(ReadLe32(header, 28), c.avgBytesPerSec);
    EXPECT_EQ(ReadLe16(header, 32), 4) << "block align stays";
    EXPECT_EQ(ReadLe16(header, 34), 16) << "bits per sample stays";
    EXPECT_EQ(ReadLe16(header, 36), 0) << "cbSize stays";
  }
}

TEST(WavHeaderTest, ShortFormatBlockIsCorrectedOnlyWithinItsBytes) {
  const std::vector<BYTE> format = {0x01, 0x00, 0x02, 0x00, 0x80, 0xBB};  // tag, channels, part of a rate
  const auto header = BuildHeader(format, 3, Frame(28, 7));
  ASSERT_EQ(header.size(), 34u);
  EXPECT_EQ(ReadLe16(header, 20), 0x2000);
  EXPECT_EQ(ReadLe16(header, 22), 5);
  EXPECT_EQ(header[24], 0x80);
  EXPECT_EQ(header[25], 0xBB);
  EXPECT_EQ(ReadTag(header, 26), "data");
}

TEST(WavHeaderTest, SizesReachedLateInALongRecording) {
  const auto format = MakeWaveFormat(0x2000, 2, 48000, 0, 1, 0);
  const struct {
    std::uint32_t dataBytes;
    std::uint32_t riffSize;
  } cases[] = {{0, 38}, {100'000'000, 100'000'000 + 46 - 8}, {UINT32_MAX - 46, UINT32_MAX - 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dataBytes);
    const auto header = BuildHeader(format, c.dataBytes, Ac3FrameHeader{});
    EXPECT_EQ(ReadLe32(header, 4), c.riffSize);
    EXPECT_EQ(ReadLe32(header, 42), c.dataBytes);
  }
}

TEST(WavHeaderTest, RefusesAWrongBufferOrAFileOver4GiB) {
  const auto format = MakeWaveFormat(0x2000, 2, 48000, 0, 1, 0);
  std::vector<BYTE> tooSmall(45), right(46);
  EXPECT_EQ(WavHeader::Build(format, 0, Ac3FrameHeader{}, tooSmall), E_INVALIDARG);
  EXPECT_EQ(WavHeader::Build(format, UINT32_MAX - 45, Ac3FrameHeader{}, right), E_INVALIDARG);
}

}  // namespace
