#include "outside/muxer/ElementaryQueue.h"

#include <gtest/gtest.h>

#include <cstring>

#include "SyntheticStreams.h"

namespace muxtest {
namespace {

using outside::ElementaryQueue;
using outside::kNoTime;
using outside::StreamKind;

// Feeds a stream as chunks that each start at a unit (with its times) and then, to test state kept
// across calls, splits every chunk into pieces of pieceBytes.
void Feed(ElementaryQueue& q, const SyntheticStream& s, std::size_t unitsPerChunk, std::size_t pieceBytes) {
  for (std::size_t u = 0; u < s.units.size(); u += unitsPerChunk) {
    const std::size_t last = std::min(u + unitsPerChunk, s.units.size()) - 1;
    const std::size_t begin = s.units[u].offset;
    const std::size_t end = s.units[last].offset + s.units[last].size;
    for (std::size_t at = begin; at < end; at += pieceBytes) {
      const std::size_t n = std::min(pieceBytes, end - at);
      const bool first = at == begin;
      ASSERT_EQ(q.Append(&s.bytes[at], n, first ? s.units[u].pts : kNoTime, first ? s.units[u].dts : kNoTime,
                         !first),
                n);
    }
  }
  q.MarkEnded();
}

struct QueueCase {
  const char* name;
  StreamKind kind;
  SyntheticStream stream;
  std::size_t unitsPerChunk;
};

TEST(ElementaryQueueTest, FindsEveryUnitWithItsTimesHoweverTheInputIsCut) {
  const QueueCase cases[] = {
      {"mpeg2 video", StreamKind::Mpeg2Video, MakeMpeg2Video(30, {9000, 300, 120, 4000}, 1000), 1},
      {"ac3 three frames per chunk", StreamKind::Ac3Audio, MakeAc3(40, 5000), 3},
      {"mp2 44.1 kHz, one stamp for all", StreamKind::MpegAudio, MakeMp2(200, 44100, 7), 200},
      {"mp2 48 kHz", StreamKind::MpegAudio, MakeMp2(50, 48000, 0), 4},
  };
  for (const QueueCase& c : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{100000}}) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      ElementaryQueue q;
      ASSERT_EQ(q.Init(c.kind, 1 << 20, 4096), S_OK);
      Feed(q, c.stream, c.unitsPerChunk, piece);
      ASSERT_EQ(q.UnitCount(), c.stream.units.size());
      for (std::size_t i = 0; i < q.UnitCount(); ++i) {
        SCOPED_TRACE("unit " + std::to_string(i));
        EXPECT_EQ(q.Unit(i).offset, static_cast<std::int64_t>(c.stream.units[i].offset));
        EXPECT_EQ(q.Unit(i).stamped, i % c.unitsPerChunk == 0);
        // Audio times are counted from the stamp exactly (44.1 kHz frames are 2351.02 ticks long).
        EXPECT_EQ(q.Unit(i).pts, c.stream.units[i].pts);
        if (q.Unit(i).stamped) {
          EXPECT_EQ(q.Unit(i).dts, c.stream.units[i].dts);
        }
      }
      EXPECT_EQ(q.DroppedStamps(), 0u);
      EXPECT_EQ(q.Sendable(), static_cast<std::int64_t>(c.stream.bytes.size()));
    }
  }
}

TEST(ElementaryQueueTest, AudioResynchronisesAfterDamageAndKeepsTheBytes) {
  SyntheticStream s = MakeAc3(4, 0);
  // Damage: 50 bytes of noise (no sync word) between frames 1 and 2.
  std::vector<std::uint8_t> bytes(s.bytes.begin(), s.bytes.begin() + 2 * 768);
  bytes.insert(bytes.end(), 50, 0x42);
  bytes.insert(bytes.end(), s.bytes.begin() + 2 * 768, s.bytes.end());
  ElementaryQueue q;
  ASSERT_EQ(q.Init(StreamKind::Ac3Audio, 1 << 16, 64), S_OK);
  ASSERT_EQ(q.Append(bytes.data(), bytes.size(), 900, kNoTime, false), bytes.size());
  q.MarkEnded();
  ASSERT_EQ(q.UnitCount(), 4u);
  EXPECT_EQ(q.Unit(2).offset, 2 * 768 + 50);
  EXPECT_EQ(q.Unit(3).pts, 900 + 3 * 2880);
  EXPECT_EQ(q.Sendable(), static_cast<std::int64_t>(bytes.size()));
}

TEST(ElementaryQueueTest, StampOfAChunkWithoutAUnitStartIsDroppedNotMisplaced) {
  SyntheticStream s = MakeMpeg2Video(2, {5000}, 0);
  ElementaryQueue q;
  ASSERT_EQ(q.Init(StreamKind::Mpeg2Video, 1 << 16, 64), S_OK);
  // The first picture arrives in two chunks, the second one stamped although no picture starts in it.
  q.Append(s.bytes.data(), 2000, s.units[0].pts, s.units[0].dts, false);
  q.Append(s.bytes.data() + 2000, 3000, 77777, 77777, false);
  q.Append(s.bytes.data() + 5000, s.bytes.size() - 5000, s.units[1].pts, s.units[1].dts, false);
  q.MarkEnded();
  ASSERT_EQ(q.UnitCount(), 2u);
  EXPECT_EQ(q.Unit(1).pts, s.units[1].pts);
  EXPECT_EQ(q.DroppedStamps(), 1u);
}

TEST(ElementaryQueueTest, H264UnitsBeginAtTheAccessUnitDelimiterWithItsLeadingZero) {
  const std::uint8_t es[] = {0, 0, 0, 1, 0x09, 0x10, 0, 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x65, 0x88, 0x84,
                             0, 0, 0, 1, 0x09, 0x30, 0, 0, 1,    0x41, 0x9A, 0x11, 0, 0, 0, 1, 0x09, 0x30};
  ElementaryQueue q;
  ASSERT_EQ(q.Init(StreamKind::H264Video, 1 << 16, 64), S_OK);
  for (std::size_t i = 0; i < sizeof(es); ++i) q.Append(&es[i], 1, kNoTime, kNoTime, false);
  q.MarkEnded();
  ASSERT_EQ(q.UnitCount(), 3u);
  EXPECT_EQ(q.Unit(0).offset, 0);
  EXPECT_EQ(q.Unit(1).offset, 18);
  EXPECT_EQ(q.Unit(2).offset, 30);
}

TEST(ElementaryQueueTest, ConsumeForgetsPassedUnitsAndCompactsWithoutLosingBytes) {
  SyntheticStream s = MakeAc3(100, 0);
  ElementaryQueue q;
  ASSERT_EQ(q.Init(StreamKind::Ac3Audio, 8192, 64), S_OK);
  std::size_t fed = 0, checked = 0;
  while (checked < s.bytes.size()) {
    fed += q.Append(&s.bytes[fed], s.bytes.size() - fed, kNoTime, kNoTime, false);
    if (fed == s.bytes.size()) q.MarkEnded();
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(q.Sendable(), 1000));
    ASSERT_GT(n, 0u);
    ASSERT_EQ(std::memcmp(q.Data(q.ReadOffset()), &s.bytes[checked], n), 0) << "at " << checked;
    q.Consume(n);
    checked += n;
    ASSERT_LE(q.UnitCount(), 8192u / 768 + 2);  // only units still in the buffer are kept
  }
}

}  // namespace
}  // namespace muxtest
