#include "wavwriter/WavAudioStream.h"

#include <gtest/gtest.h>

#include "tests/wavwriter/Ac3TestFrames.h"
#include "tests/wavwriter/WavBytes.h"

namespace {

const std::vector<BYTE> kGarbage3 = {0x01, 0x02, 0x03};

struct Feed {
  std::vector<BYTE> sample;
  std::size_t keptBytes;  // bytes expected to go into the file
  std::size_t firstKept;  // offset in the sample of the first byte kept
};

TEST(WavAudioStreamTest, DropsBytesOnlyUntilTheFirstUsableFrameHeader) {
  const auto frame28 = MakeAc3Frame(28, 7, 64);
  const auto frame0 = MakeAc3Frame(0, 2, 40);
  const struct {
    const char* name;
    std::vector<Feed> feeds;
    bool frameHeaderKnown;
  } cases[] = {
      {"garbage before the first sync word",
       {{Concat(kGarbage3, frame28), 64, 3}, {Concat(kGarbage3, frame28), 67, 0}},
       true},
      {"samples without a sync word are dropped whole",
       {{kGarbage3, 0, 0}, {std::vector<BYTE>(100, 0x55), 0, 0}, {frame28, 64, 0}},
       true},
      {"no sync word at all", {{kGarbage3, 0, 0}, {std::vector<BYTE>(5, 0x0B), 0, 0}}, false},
      {"frmsizecod 0 starts the audio; the search for the format goes on without dropping",
       {{Concat(kGarbage3, frame0), 40, 3}, {Concat({0x09, 0x09}, frame0), 42, 0}, {Concat({0x07}, frame28), 65, 0},
        {Concat(kGarbage3, frame0), 43, 0}},
       true},
      {"only frmsizecod 0 headers",
       {{frame0, 40, 0}, {Concat(kGarbage3, frame0), 43, 0}, {kGarbage3, 3, 0}},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WavAudioStream stream;
    ASSERT_EQ(stream.Start(18), S_OK);
    for (std::size_t i = 0; i < c.feeds.size(); ++i) {
      SCOPED_TRACE(i);
      const Feed& feed = c.feeds[i];
      const auto kept = stream.SelectAudio(feed.sample);
      EXPECT_EQ(kept.size(), feed.keptBytes);
      if (!kept.empty()) {
        EXPECT_EQ(kept.data(), feed.sample.data() + feed.firstKept);
      }
    }
    EXPECT_EQ(stream.HasFrameHeader(), c.frameHeaderKnown);
  }
}

TEST(WavAudioStreamTest, TheFrameHeaderOutlivesTheRunButTheCountsDoNot) {
  WavAudioStream stream;
  ASSERT_EQ(stream.Start(18), S_OK);
  const auto frame = MakeAc3Frame(36, 2, 50);
  ASSERT_EQ(stream.SelectAudio(frame).size(), 50u);
  REFERENCE_TIME start = 0, stop = 0;
  ASSERT_EQ(stream.Place(50, &start, &stop), S_OK);

  ASSERT_EQ(stream.Start(18), S_OK);
  EXPECT_EQ(stream.DataBytes(), 0u);
  EXPECT_EQ(stream.SelectAudio(Concat(kGarbage3, frame)).size(), 53u) << "no new search in a new run";
  EXPECT_EQ(stream.FirstFrame().frmsizecod, 36);

  // Without a usable header, each run's file starts on a frame again.
  WavAudioStream slow;
  const auto frame0 = MakeAc3Frame(0, 2, 40);
  ASSERT_EQ(slow.Start(18), S_OK);
  EXPECT_EQ(slow.SelectAudio(frame0).size(), 40u);
  EXPECT_EQ(slow.SelectAudio(kGarbage3).size(), 3u);
  ASSERT_EQ(slow.Start(18), S_OK);
  EXPECT_EQ(slow.SelectAudio(kGarbage3).size(), 0u);
  EXPECT_EQ(slow.SelectAudio(Concat(kGarbage3, frame0)).size(), 40u);
}

TEST(WavAudioStreamTest, EachHeaderDescribesTheAudioPlacedSoFar) {
  const auto format = MakeWaveFormat(0x2000, 2, 48000, 0, 1, 0);
  WavAudioStream stream;
  ASSERT_EQ(stream.Start(static_cast<std::uint32_t>(format.size())), S_OK);
  std::vector<BYTE> header(stream.HeaderBytes());
  REFERENCE_TIME start = 0, stop = 0;

  const auto frame = MakeAc3Frame(28, 7, 1000);
  ASSERT_EQ(stream.Place(static_cast<std::uint32_t>(stream.SelectAudio(frame).size()), &start, &stop), S_OK);
  ASSERT_EQ(stream.BuildHeader(format, header), S_OK);
  EXPECT_EQ(ReadLe32(header, 42), 1000u);
  EXPECT_EQ(ReadLe16(header, 22), 5);

  ASSERT_EQ(stream.Place(2000, &start, &stop), S_OK);
  ASSERT_EQ(stream.BuildHeader(format, header), S_OK);
  EXPECT_EQ(ReadLe32(header, 4), 3000u + 46 - 8);
  EXPECT_EQ(ReadLe32(header, 42), 3000u);
}

}  // namespace
