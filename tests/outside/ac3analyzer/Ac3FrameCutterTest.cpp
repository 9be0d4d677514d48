#include "outside/ac3analyzer/Ac3FrameCutter.h"

#include <gtest/gtest.h>

#include <vector>

namespace outside {
namespace {

struct Frame {
  std::vector<std::uint8_t> bytes;
  std::int64_t start, stop;
  bool discontinuity;
};

class CollectingSink : public Ac3FrameSink {
 public:
  HRESULT OnFrame(const std::uint8_t* data, std::size_t size, std::int64_t start, std::int64_t stop,
                  bool discontinuity) override {
    frames.push_back({std::vector<std::uint8_t>(data, data + size), start, stop, discontinuity});
    return failWith;
  }
  std::vector<Frame> frames;
  HRESULT failWith = S_OK;
};

// AC3 frames at 48 kHz (frame size code 20: 768 bytes) or 44.1 kHz (code 20/21: 835/836 bytes);
// each frame's bytes after the header count up so frames differ.
std::vector<std::vector<std::uint8_t>> MakeFrames(int count, std::uint8_t fscod) {
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t code = static_cast<std::uint8_t>(20 + (fscod == 1 ? i % 2 : 0));
    const std::size_t size = fscod == 1 ? 2 * (192 * 1536 * 1000 / (44100 * 16) + (code & 1)) : 768;
    std::vector<std::uint8_t> f = {0x0B, 0x77, 0x00, 0x00, static_cast<std::uint8_t>((fscod << 6) | code), 8 << 3, 2 << 5};
    for (std::size_t b = f.size(); b < size; ++b) f.push_back(static_cast<std::uint8_t>((b + i) % 11 + 0x20));
    frames.push_back(f);
  }
  return frames;
}

TEST(Ac3FrameCutterTest, EmitsTheInputFramesWholeWithIncreasingTimesHoweverTheyAreCut) {
  struct Case {
    const char* name;
    std::uint8_t fscod;
    std::size_t chunkBytes;
    std::size_t leadingNoise;
  };
  const Case cases[] = {
      {"48 kHz in PES-sized chunks", 0, 768 * 3, 0},
      {"48 kHz byte by byte after noise", 0, 1, 37},
      {"44.1 kHz in odd chunks, cut mid-frame", 1, 1000, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto frames = MakeFrames(30, c.fscod);
    std::vector<std::uint8_t> stream(c.leadingNoise, 0x42);
    for (const auto& f : frames) stream.insert(stream.end(), f.begin(), f.end());

    Ac3FrameCutter cutter;
    CollectingSink sink;
    const std::int64_t firstTime = 5000000;
    for (std::size_t at = 0; at < stream.size(); at += c.chunkBytes) {
      const std::size_t n = std::min(c.chunkBytes, stream.size() - at);
      // Only the chunk where the first frame starts is stamped: later times are counted from the
      // frame durations.
      const bool firstFrameHere = at <= c.leadingNoise && c.leadingNoise < at + n;
      ASSERT_EQ(cutter.Push(&stream[at], n, firstFrameHere, firstTime, sink), S_OK);
    }
    ASSERT_EQ(sink.frames.size(), frames.size());
    EXPECT_EQ(cutter.SkippedBytes(), c.leadingNoise);
    const std::int64_t rate = c.fscod == 1 ? 44100 : 48000;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      SCOPED_TRACE("frame " + std::to_string(i));
      EXPECT_EQ(sink.frames[i].bytes, frames[i]);
      EXPECT_EQ(sink.frames[i].start, firstTime + static_cast<std::int64_t>(i) * 1536 * 10000000 / rate);
      EXPECT_EQ(sink.frames[i].stop, firstTime + static_cast<std::int64_t>(i + 1) * 1536 * 10000000 / rate);
      EXPECT_EQ(sink.frames[i].discontinuity, i == 0);
    }
  }
}

TEST(Ac3FrameCutterTest, AStampBelongsToTheFirstFrameStartingInItsChunk) {
  const auto frames = MakeFrames(4, 0);
  std::vector<std::uint8_t> stream;
  for (const auto& f : frames) stream.insert(stream.end(), f.begin(), f.end());
  Ac3FrameCutter cutter;
  CollectingSink sink;
  // Chunk 1: frame 0 and half of frame 1; chunk 2 (stamped 9000000): rest of frame 1, frames 2-3.
  ASSERT_EQ(cutter.Push(stream.data(), 768 + 384, true, 1000000, sink), S_OK);
  ASSERT_EQ(cutter.Push(stream.data() + 1152, stream.size() - 1152, true, 9000000, sink), S_OK);
  ASSERT_EQ(sink.frames.size(), 4u);
  EXPECT_EQ(sink.frames[1].start, 1000000 + 320000);
  EXPECT_EQ(sink.frames[2].start, 9000000);
  EXPECT_EQ(sink.frames[3].start, 9000000 + 320000);
}

TEST(Ac3FrameCutterTest, FalseSyncWordsAreSkippedAndSinkFailuresReturned) {
  const auto frames = MakeFrames(3, 0);
  // A lone sync word with an impossible header (frame size code 63) before the real frames.
  std::vector<std::uint8_t> stream = {0x0B, 0x77, 0, 0, 63, 8 << 3, 0, 0x0B};
  for (const auto& f : frames) stream.insert(stream.end(), f.begin(), f.end());
  Ac3FrameCutter cutter;
  CollectingSink sink;
  ASSERT_EQ(cutter.Push(stream.data(), stream.size(), false, 0, sink), S_OK);
  ASSERT_EQ(sink.frames.size(), 3u);
  EXPECT_EQ(sink.frames[0].bytes, frames[0]);
  EXPECT_EQ(cutter.SkippedBytes(), 8u);

  sink.failWith = E_FAIL;
  EXPECT_EQ(cutter.Push(frames[0].data(), frames[0].size(), false, 0, sink), E_FAIL);
}

}  // namespace
}  // namespace outside
