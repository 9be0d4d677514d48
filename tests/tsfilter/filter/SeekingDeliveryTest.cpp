// Seeking and delivery through the output pin into a collecting sink: where delivery starts after
// a seek and where a stop position ends it, the discontinuity flag, the rate, one packet per
// sample whatever the buffer size, and the elementary video mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "platform/com/comptr.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/Guids.h"
#include "platform/dshow/SeekingInterfaces.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"
#include "tests/tsfilter/filter/CollectingSink.h"
#include "tests/tsfilter/filter/Recordings.h"
#include "tests/tsfilter/filter/SourceChain.h"
#include "tsfilter/filter/TsSourceFilter.h"
#include "tsfilter/services/SettingsStore.h"

namespace tsfilter {
namespace {

using testing::CollectingSink;
using testing::FileBytes;
using testing::ReceivedSample;
using testing::Chain;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPacket = 188;
constexpr unsigned kVideoPid = 0x100;  // the sample's MPEG-2 video

// A packet of the video PID that starts a PES packet whose data begins with a sequence header.
bool StartsWithSequenceHeader(const std::uint8_t* p) {
  const unsigned pid = ((p[1] & 0x1Fu) << 8) | p[2];
  if (pid != kVideoPid || !(p[1] & 0x40)) return false;
  const std::size_t pes = (p[3] & 0x20) ? 5 + std::size_t{p[4]} : 4;
  if (pes + 9 > kPacket || p[pes] != 0 || p[pes + 1] != 0 || p[pes + 2] != 1) return false;
  std::size_t es = pes + 9 + p[pes + 8];
  if (es + 5 > kPacket) return false;
  if (p[es + 4] == 0xB3) ++es;  // a zero byte ahead of the start code
  return p[es] == 0 && p[es + 1] == 0 && p[es + 2] == 1 && p[es + 3] == 0xB3;
}

// The first packet at or after `from` that delivery may resume at, as a packet index.
std::size_t NextSequenceHeader(const Bytes& file, std::size_t from) {
  for (std::size_t i = from; (i + 1) * kPacket <= file.size(); ++i)
    if (StartsWithSequenceHeader(file.data() + i * kPacket)) return i;
  return file.size() / kPacket;
}

Bytes Slice(const Bytes& file, std::size_t firstPacket, std::size_t endPacket) {
  return Bytes(file.begin() + static_cast<std::ptrdiff_t>(firstPacket * kPacket),
               file.begin() + static_cast<std::ptrdiff_t>(std::min(endPacket * kPacket, file.size())));
}

class SeekingDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No demultiplexer behind the pin: the lenient setting lets it connect to the sink.
    RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "PrefDemux", 0);
  }
  void TearDown() override {
    if (!m_long.empty()) std::remove(m_long.c_str());
  }
  const std::string& LongRecording() {
    if (m_long.empty()) m_long = testing::RepeatedSample(10, "seek");
    return m_long;
  }

  TemporaryRegistry m_registry;
  std::string m_long;
};

TEST_F(SeekingDeliveryTest, ASeekResumesAtTheNextSequenceHeaderWithADiscontinuity) {
  const Bytes file = FileBytes(LongRecording());
  for (int part : {2, 3}) {
    Chain chain(LongRecording());
    ASSERT_TRUE(chain.connected);
    ComPtr<IMediaSeeking> seeking = chain.Seeking();
    LONGLONG duration = 0;
    ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
    LONGLONG start = duration / part;
    ASSERT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    const std::int64_t startPacket = chain.PacketAt(start, duration, file.size());
    ASSERT_GT(startPacket, 5000) << "the search must reach beyond the file's first packets";
    EXPECT_EQ(chain.NumberAttribute(u"CURPACKET"), startPacket);

    ASSERT_TRUE(chain.RunToEnd()) << "no end of stream";
    const std::vector<ReceivedSample> samples = chain.m_sink->Samples();
    ASSERT_FALSE(samples.empty());
    EXPECT_TRUE(samples.front().discontinuity);
    EXPECT_EQ(std::count_if(samples.begin(), samples.end(), [](const ReceivedSample& s) { return s.discontinuity; }), 1);

    const std::size_t resume = NextSequenceHeader(file, static_cast<std::size_t>(startPacket));
    ASSERT_LT(resume - static_cast<std::size_t>(startPacket), 5000u);
    EXPECT_TRUE(chain.m_sink->Bytes() == Slice(file, resume, file.size() / kPacket)) << "1/" << part;
  }
}

TEST_F(SeekingDeliveryTest, ASeekWhileRunningContinuesAtTheSoughtPacketWithoutLosingAny) {
  const Bytes file = FileBytes(LongRecording());
  Chain chain(LongRecording());
  ASSERT_TRUE(chain.connected);
  ComPtr<IMediaSeeking> seeking = chain.Seeking();
  LONGLONG duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);

  chain.m_sink->Clear();
  chain.m_sink->Filter()->Pause();
  chain.m_source->Pause();
  chain.m_sink->Filter()->Run(0);
  chain.m_source->Run(0);
  while (chain.m_sink->Count() < 2000 && !chain.m_sink->m_ended.Check()) std::this_thread::yield();
  LONGLONG start = duration * 3 / 4;
  ASSERT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_TRUE(chain.m_sink->m_ended.Wait(120000)) << "no end of stream";
  chain.m_source->Stop();
  chain.m_sink->Filter()->Stop();

  // Whatever came before the seek is the file from the start. Samples of the new position that
  // slipped out ahead of the flush are flushed away downstream; after the last discontinuity, where
  // delivery restarted, comes the file from the sequence header after the sought packet to its
  // end, without a gap.
  const std::vector<ReceivedSample> samples = chain.m_sink->Samples();
  auto isMarked = [](const ReceivedSample& s) { return s.discontinuity; };
  const auto firstMarked = std::find_if(samples.begin(), samples.end(), isMarked);
  ASSERT_NE(firstMarked, samples.end());
  const auto restart = std::find_if(samples.rbegin(), samples.rend(), isMarked).base() - 1;
  Bytes before, after;
  for (auto it = samples.begin(); it != firstMarked; ++it) before.insert(before.end(), it->bytes.begin(), it->bytes.end());
  for (auto it = restart; it != samples.end(); ++it) after.insert(after.end(), it->bytes.begin(), it->bytes.end());
  const std::size_t first = NextSequenceHeader(file, 0);
  EXPECT_TRUE(before == Slice(file, first, first + before.size() / kPacket));
  const std::int64_t startPacket = Chain::PacketAt(start, duration, file.size());
  const std::size_t resume = NextSequenceHeader(file, static_cast<std::size_t>(startPacket));
  EXPECT_EQ(after.size(), file.size() - resume * kPacket);
  EXPECT_TRUE(after == Slice(file, resume, file.size() / kPacket));
}

TEST_F(SeekingDeliveryTest, AStopPositionEndsDeliveryThereOrAtTheRealEnd) {
  const Bytes file = FileBytes(LongRecording());
  const std::size_t packets = file.size() / kPacket;
  struct Case {
    int numerator, denominator;
  };
  for (const Case c : {Case{1, 2}, Case{3, 1}}) {
    Chain chain(LongRecording());
    ASSERT_TRUE(chain.connected);
    ComPtr<IMediaSeeking> seeking = chain.Seeking();
    LONGLONG duration = 0;
    ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
    LONGLONG stop = duration * c.numerator / c.denominator;
    ASSERT_EQ(seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, &stop, AM_SEEKING_AbsolutePositioning), S_OK);
    const std::int64_t stopPacket = chain.PacketAt(stop, duration, file.size());
    EXPECT_EQ(chain.NumberAttribute(u"MAXPACKET"), stopPacket);

    ASSERT_TRUE(chain.RunToEnd()) << "no end of stream";
    // Delivery begins at the sequence header the opening analysis found.
    const std::size_t first = NextSequenceHeader(file, 0);
    const std::size_t end = std::min(static_cast<std::size_t>(stopPacket), packets);
    EXPECT_TRUE(chain.m_sink->Bytes() == Slice(file, first, end)) << c.numerator << "/" << c.denominator;
  }
}

TEST_F(SeekingDeliveryTest, RateDividesSampleTimesAndARefusedRateChangesNothing) {
  Chain chain(SAMPLE_TS);
  ASSERT_TRUE(chain.connected);
  ComPtr<IMediaSeeking> seeking = chain.Seeking();
  ASSERT_TRUE(chain.RunToEnd());
  const std::vector<ReceivedSample> normal = chain.m_sink->Samples();
  ASSERT_TRUE(std::any_of(normal.begin(), normal.end(), [](const ReceivedSample& s) { return s.start > 0; }));

  ASSERT_EQ(seeking->SetRate(2.0), S_OK);
  ASSERT_TRUE(chain.RunToEnd());
  const std::vector<ReceivedSample> fast = chain.m_sink->Samples();
  ASSERT_EQ(fast.size(), normal.size());
  for (std::size_t i = 0; i < fast.size(); ++i) ASSERT_EQ(fast[i].start, normal[i].start / 2) << i;

  for (double refused : {0.5, 0.0, -1.0}) {
    EXPECT_EQ(seeking->SetRate(refused), E_FAIL) << refused;
    double rate = 0;
    ASSERT_EQ(seeking->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 2.0) << refused;
  }
  ASSERT_TRUE(chain.RunToEnd());
  const std::vector<ReceivedSample> again = chain.m_sink->Samples();
  ASSERT_EQ(again.size(), fast.size());
  for (std::size_t i = 0; i < again.size(); ++i) ASSERT_EQ(again[i].start, fast[i].start) << i;
}

TEST_F(SeekingDeliveryTest, LargeBuffersStillCarryOnePacketEach) {
  const Bytes file = FileBytes(SAMPLE_TS);
  Chain chain(SAMPLE_TS, 65536);
  ASSERT_TRUE(chain.connected);
  ASSERT_TRUE(chain.RunToEnd());
  const std::vector<ReceivedSample> samples = chain.m_sink->Samples();
  ASSERT_FALSE(samples.empty());
  EXPECT_GE(samples.front().bufferSize, 65536);
  EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](const ReceivedSample& s) { return s.bytes.size() == kPacket; }));
  EXPECT_TRUE(chain.m_sink->Bytes() == Slice(file, NextSequenceHeader(file, 0), file.size() / kPacket));
}

TEST_F(SeekingDeliveryTest, ElementaryVideoModeDeliversTheVideoPayloadOnly) {
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "PrefDemux", 3);  // read again at Load
  Chain chain(SAMPLE_TS);
  ASSERT_TRUE(chain.connected);
  ComPtr<IPin> video;
  ASSERT_EQ(chain.m_source->FindPin(u"Video", video.GetAddressOf()), S_OK);
  AM_MEDIA_TYPE type{};
  ASSERT_EQ(video->ConnectionMediaType(&type), S_OK);
  EXPECT_EQ(type.majortype, MEDIATYPE_Stream);
  EXPECT_EQ(type.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
  FreeMediaType(type);

  ASSERT_TRUE(chain.RunToEnd());
  const std::vector<ReceivedSample> samples = chain.m_sink->Samples();
  ASSERT_FALSE(samples.empty());
  EXPECT_TRUE(std::none_of(samples.begin(), samples.end(), [](const ReceivedSample& s) { return s.syncPoint; }));
  EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](const ReceivedSample& s) { return s.bytes.size() <= 184; }));
  const Bytes stream = chain.m_sink->Bytes();
  ASSERT_GE(stream.size(), 4u);
  EXPECT_TRUE(std::equal(stream.begin(), stream.begin() + 4, Bytes{0, 0, 1, 0xB3}.begin()));

  // The same elementary stream as ffmpeg extracts, from the first sequence header on.
  REQUIRE_PROGRAM("ffmpeg");
  const std::filesystem::path dir = testsupport::MakeTempDir("flumetta-es");
  const std::string out = (dir / "video.m2v").string();
  const auto run = testsupport::RunCommand("ffmpeg -nostdin -v error -i " + testsupport::ShellQuote(SAMPLE_TS) +
                                           " -map 0:v:0 -c copy -f mpeg2video " + testsupport::ShellQuote(out));
  ASSERT_EQ(run.exitCode, 0);
  const Bytes oracle = FileBytes(out);
  std::filesystem::remove_all(dir);
  ASSERT_GE(oracle.size(), stream.size());
  EXPECT_TRUE(std::equal(stream.rbegin(), stream.rend(), oracle.rbegin()))
      << "ours " << stream.size() << " bytes, ffmpeg " << oracle.size();
}

}  // namespace
}  // namespace tsfilter
