#include <gtest/gtest.h>

#include <vector>

#include "platform/filters/PesHeader.h"
#include "platform/filters/TimestampUnwrapper.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A 5-byte time stamp field with the given 4-bit prefix.
void PutTimestamp(Bytes& out, std::uint8_t prefix, std::uint64_t ts) {
  out.push_back(static_cast<std::uint8_t>((prefix << 4) | (((ts >> 30) & 7) << 1) | 1));
  out.push_back(static_cast<std::uint8_t>(ts >> 22));
  out.push_back(static_cast<std::uint8_t>(((ts >> 15) & 0x7F) << 1 | 1));
  out.push_back(static_cast<std::uint8_t>(ts >> 7));
  out.push_back(static_cast<std::uint8_t>((ts & 0x7F) << 1 | 1));
}

struct HeaderCase {
  const char* name;
  Bytes bytes;
  std::uint8_t streamId;
  std::size_t payloadOffset;
  bool hasPts, hasDts;
  std::uint64_t pts, dts;
};

std::vector<HeaderCase> HeaderCases() {
  std::vector<HeaderCase> cases;
  {
    Bytes b = {0, 0, 1, 0xE0, 0, 0, 0x80, 0xC0, 10};
    PutTimestamp(b, 3, 0x1FFFFFFFFull);
    PutTimestamp(b, 1, 45000);
    cases.push_back({"mpeg2 pts and dts, unbounded", b, 0xE0, 19, true, true, 0x1FFFFFFFFull, 45000});
  }
  {
    Bytes b = {0, 0, 1, 0xC0, 0, 12, 0x80, 0x80, 5};
    PutTimestamp(b, 2, 48120);
    b.push_back(0xFF);
    cases.push_back({"mpeg2 pts only", b, 0xC0, 14, true, false, 48120, 48120});
  }
  {
    Bytes b = {0, 0, 1, 0xBD, 0, 10, 0x80, 0x00, 3, 0xFF, 0xFF, 0xFF, 0x80, 0x01};
    cases.push_back({"mpeg2 without time stamps, stuffing only", b, 0xBD, 12, false, false, 0, 0});
  }
  {
    Bytes b = {0, 0, 1, 0xE0, 0, 20, 0xFF, 0xFF, 0x60, 0x00};
    PutTimestamp(b, 3, 48600);
    PutTimestamp(b, 1, 45000);
    cases.push_back({"mpeg1 stuffing, STD buffer, pts and dts", b, 0xE0, 20, true, true, 48600, 45000});
  }
  {
    Bytes b = {0, 0, 1, 0xC0, 0, 3, 0x0F, 0xAA, 0xBB};
    cases.push_back({"mpeg1 without time stamps", b, 0xC0, 7, false, false, 0, 0});
  }
  {
    Bytes b = {0, 0, 1, 0xBE, 0, 2, 0xFF, 0xFF};
    cases.push_back({"padding has no optional header", b, 0xBE, 6, false, false, 0, 0});
  }
  return cases;
}

TEST(PesHeader, ParsesBothFormsAndEveryTruncationAsksForMore) {
  for (const HeaderCase& c : HeaderCases()) {
    SCOPED_TRACE(c.name);
    PesHeader h;
    ASSERT_EQ(ParsePesHeader(c.bytes.data(), c.bytes.size(), &h), PesParse::Ok);
    EXPECT_EQ(h.stream_id, c.streamId);
    EXPECT_EQ(h.payloadOffset, c.payloadOffset);
    EXPECT_EQ(h.hasPts, c.hasPts);
    EXPECT_EQ(h.hasDts, c.hasDts);
    EXPECT_EQ(h.pts, c.pts);
    EXPECT_EQ(h.dts, c.dts);
    for (std::size_t cut = 0; cut < c.payloadOffset; ++cut) {
      PesHeader partial;
      EXPECT_EQ(ParsePesHeader(c.bytes.data(), cut, &partial), PesParse::NeedMore) << "cut at " << cut;
    }
  }
}

TEST(PesHeader, RejectsWhatCannotBeAHeader) {
  struct Case {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"no start code", {0, 0, 2, 0xE0, 0, 0, 0x80, 0, 0}},
      {"header longer than the packet", {0, 0, 1, 0xE0, 0, 4, 0x80, 0x00, 5, 0, 0, 0, 0, 0}},
      {"pts flag with too short a header", {0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 2, 0x21, 0x00}},
      {"dts without pts", {0, 0, 1, 0xE0, 0, 0, 0x80, 0x40, 5, 0x11, 0, 1, 0, 1}},
      {"mpeg1 unknown marker", {0, 0, 1, 0xC0, 0, 3, 0x50, 0x00, 0x9A}},
      {"mpeg1 seventeen stuffing bytes", Bytes{0, 0, 1, 0xC0, 0, 30, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PesHeader h;
    EXPECT_EQ(ParsePesHeader(c.bytes.data(), c.bytes.size(), &h), PesParse::Invalid);
  }
}

TEST(TimestampUnwrapper, KeepsIncreasingAcrossTheWrapAndPlacesStragglers) {
  constexpr std::int64_t kWrap = TimestampUnwrapper::kWrap;
  struct Step {
    std::uint64_t raw;
    std::int64_t expected;
  } steps[] = {
      {kWrap - 9000, kWrap - 9000},
      {kWrap - 3000, kWrap - 3000},
      {600, kWrap + 600},             // crossed the wrap
      {kWrap - 1500, kWrap - 1500},   // a B-picture from before it
      {4200, kWrap + 4200},
      {kWrap + 9000, kWrap + 9000},   // raw bits above 33 are ignored
      {kWrap - 100, kWrap - 100},     // late value from before the wrap stays before it
      {3000, kWrap + 3000},           // and the stream goes on after it
  };
  TimestampUnwrapper clock;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.raw);
    EXPECT_EQ(clock.Unwrap(s.raw), s.expected);
  }
  clock.Reset();
  EXPECT_EQ(clock.Unwrap(5), 5);
}

}  // namespace
