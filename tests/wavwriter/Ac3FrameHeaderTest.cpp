#include "wavwriter/Ac3FrameHeader.h"

#include <gtest/gtest.h>

#include "tests/wavwriter/Ac3TestFrames.h"

namespace {

TEST(Ac3FrameHeaderTest, ReadsEveryFieldFromItsBits) {
  const auto bytes = MakeAc3Header(/*fscod*/ 2, /*frmsizecod*/ 37, /*bsmod*/ 5, /*acmod*/ 6);
  const auto match = FindAc3FrameHeader(bytes);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->syncOffset, 0u);
  EXPECT_EQ(match->header.fscod, 2);
  EXPECT_EQ(match->header.frmsizecod, 37);
  EXPECT_EQ(match->header.bsmod, 5);
  EXPECT_EQ(match->header.acmod, 6);
}

TEST(Ac3FrameHeaderTest, SearchFindsTheFirstUsableSyncWord) {
  const std::vector<BYTE> garbage = {0x12, 0x0B, 0x34};
  const auto header = MakeAc3Header(0, 28, 0, 7);
  const std::vector<BYTE> invalidCode = MakeAc3Header(0, 40, 0, 2);
  struct Case {
    const char* name;
    std::vector<BYTE> data;
    bool found;
    std::size_t syncOffset;
    BYTE frmsizecod;
  };
  const Case cases[] = {
      {"header at the start", header, true, 0, 28},
      {"three bytes of garbage first", Concat(garbage, header), true, 3, 28},
      {"frmsizecod 0 is still a header", MakeAc3Header(0, 0, 0, 2), true, 0, 0},
      {"no sync word", garbage, false, 0, 0},
      {"empty", {}, false, 0, 0},
      {"reversed pair", {0x77, 0x0B, 0, 0, 0x1C, 0, 0xE0}, false, 0, 0},
      {"header cut short by the end", {0x0B, 0x77, 0, 0, 0x1C, 0}, false, 0, 0},
      {"sync word in the last byte", Concat(std::vector<BYTE>(10, 0x55), {0x0B}), false, 0, 0},
      {"impossible frame-size code skipped", Concat(invalidCode, header), true, invalidCode.size(), 28},
      {"only an impossible frame-size code", invalidCode, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto match = FindAc3FrameHeader(c.data);
    ASSERT_EQ(match.has_value(), c.found);
    if (!c.found) continue;
    EXPECT_EQ(match->syncOffset, c.syncOffset);
    EXPECT_EQ(match->header.frmsizecod, c.frmsizecod);
  }
}

TEST(Ac3FrameHeaderTest, ChannelsCountFullBandwidthChannelsOfAcmod) {
  const WORD expected[8] = {2, 1, 2, 3, 3, 4, 4, 5};
  for (BYTE acmod = 0; acmod < 8; ++acmod) {
    SCOPED_TRACE(int{acmod});
    Ac3FrameHeader header;
    header.acmod = acmod;
    EXPECT_EQ(header.ChannelCount(), expected[acmod]);
  }
}

TEST(Ac3FrameHeaderTest, BitRateFollowsHalfTheFrameSizeCode) {
  const struct {
    BYTE frmsizecod;
    DWORD kbps;
  } cases[] = {{0, 32}, {1, 32}, {2, 40}, {17, 128}, {28, 384}, {29, 384}, {36, 640}, {37, 640}, {38, 0}, {63, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int{c.frmsizecod});
    Ac3FrameHeader header;
    header.frmsizecod = c.frmsizecod;
    EXPECT_EQ(header.BitRateKbps(), c.kbps);
  }
}

}  // namespace
