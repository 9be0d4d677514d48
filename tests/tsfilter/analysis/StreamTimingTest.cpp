#include "tsfilter/analysis/StreamTiming.h"

#include <gtest/gtest.h>

#include <limits>

#include "tests/support/TsBuilder.h"

namespace tsfilter::test {
namespace {

using namespace testsupport;

TEST(StreamTiming, ReadsThePtsOfAPesStart) {
  struct Case {
    const char* name;
    Bytes pes;
    std::uint64_t pts;
  };
  const Case cases[] = {
      {"PTS", PesBuilder(0xE0).Pts(0x1ABCDEF01ull).Unbounded().Payload(Bytes(10, 1)).Build(), 0x1ABCDEF01ull},
      {"PTS and DTS", PesBuilder(0xE0).Pts(129600).Dts(126000).Payload(Bytes(10, 1)).Build(), 129600},
      {"no header data", PesBuilder(0xE0).Payload(Bytes(10, 1)).Build(), 0},
      {"zero PTS counts as none", PesBuilder(0xE0).Pts(0).Payload(Bytes(10, 1)).Build(), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TsStream ts;
    ts.Pes(0x100, c.pes);
    EXPECT_EQ(ReadPts(ts.Data().data()), c.pts);
  }
  Packet cut = TsPacketBuilder(0x100).Pusi().Stuffing(170).Payload(PesBuilder(0xE0).Pts(900).Build()).Build();
  EXPECT_EQ(ReadPts(cut.data()), 0u) << "a PTS that would lie beyond the packet is not read";
}

TEST(StreamTiming, StreamTimeIsTheSigned33BitDifference) {
  struct Case {
    const char* name;
    std::uint64_t pts, first, streamTime;
  };
  const Case cases[] = {
      {"ahead", 5490000, 90000, 5400000},
      {"same", 90000, 90000, 0},
      {"behind time zero (reordered B-frame)", 86400, 90000, 0},
      {"clock wrapped", 1000, kPtsModulus - 8000, 9000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(StreamTimeOf(c.pts, c.first), c.streamTime);
  }
}

TEST(StreamTiming, Durations) {
  EXPECT_EQ(EstimateDuration(240158700), 1000000000);
  EXPECT_EQ(EstimateDuration(2401586), 0);
  EXPECT_EQ(MeasuredDuration(5400000, 90000, 5490000), 600000000);
  // A wrap between the first and the last PTS is corrected by 2^33 - 1, not 2^33.
  const std::uint64_t first = kPtsModulus - 90000, last = 90000;
  EXPECT_EQ(MeasuredDuration(StreamTimeOf(last, first), first, last), static_cast<std::int64_t>((180000 - 1) * 10000 / 90));
}

TEST(StreamTiming, SampleTimesFollowTheRateWithoutOverflow) {
  EXPECT_EQ(SampleStartTime(90000, 1.0), 10000000);
  EXPECT_EQ(SampleStartTime(90000, 2.0), 5000000);
  EXPECT_EQ(SampleStopTime(1000, 0.5), 2000);
  EXPECT_EQ(SampleStopTime(std::numeric_limits<std::int64_t>::max() / 2, 0.25), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(SampleStartTime(90000, 0.0), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(SampleStopTime(0, 0.0), 0) << "0 x infinity";
}

}  // namespace
}  // namespace tsfilter::test
