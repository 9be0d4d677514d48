#pragma once
// Ac3FrameCutter: turns an AC3 (or E-AC3) byte stream cut anywhere into whole frames, found at
// their sync words and measured by their headers, each with its presentation time.
//
// A time given with a chunk belongs to the first frame that starts inside that chunk (the PES
// rule); later frames are timed on from it by their durations, counted from the stamped frame so
// rounding never accumulates. Before any time has come, frames are timed from 0. Bytes outside
// frames (damage, a cut in the middle of a frame) are skipped and counted.
//
// Holds one frame of bytes; allocates nothing. Not thread-safe: the owner serialises calls.
#include <cstddef>
#include <cstdint>

#include "outside/elementary/Ac3Header.h"
#include "platform/com/hresult.h"

namespace outside {

class Ac3FrameSink {
 public:
  // One whole frame; times in 100 ns units. discontinuity marks the first frame after a reset.
  virtual HRESULT OnFrame(const std::uint8_t* data, std::size_t size, std::int64_t start, std::int64_t stop,
                          bool discontinuity) = 0;

 protected:
  ~Ac3FrameSink() = default;
};

class Ac3FrameCutter {
 public:
  // Feeds a chunk; hasTime/time (100 ns) come with it. Returns the first failure of the sink.
  HRESULT Push(const std::uint8_t* data, std::size_t size, bool hasTime, std::int64_t time, Ac3FrameSink& sink);
  // Forgets a partial frame and the time base (after a flush or a seek).
  void Reset();

  std::uint64_t SkippedBytes() const { return m_skipped; }
  std::uint64_t Frames() const { return m_frames; }

 private:
  void DropFirstBytes(std::size_t n);

  std::uint8_t m_frame[kAc3MaxFrameBytes] = {};
  std::size_t m_have = 0;
  std::size_t m_need = 0;  // frame size once its header is read
  AudioFrameInfo m_info;
  bool m_frameStamped = false;
  std::int64_t m_frameStamp = 0;

  bool m_haveBase = false;
  std::int64_t m_baseTime = 0;
  std::uint64_t m_samplesSinceBase = 0;
  std::uint32_t m_rate = 0;
  bool m_discontinuity = true;

  std::uint64_t m_skipped = 0;
  std::uint64_t m_frames = 0;
};

}  // namespace outside
