#pragma once
// Time in a program stream read through IAsyncReader: the first and last time stamps of one
// elementary stream (the video, else the audio), hence the duration, and the byte offsets where
// delivery starts and ends for a start and a stop time, found by bisection over the stream.
//
// The time of a packet is its DTS (its PTS when it has no DTS): decode times only increase, so
// they order the stream. A start time is turned into the offset of a clean start at or before it:
// a pack whose video packet begins a sequence header (every GOP of MPEG-1/2 and every DVD VOBU
// has one), so that the delivered video decodes from its first picture. Times are 90 kHz ticks
// from the first time stamp. Reads go into one window buffer allocated at construction.
#include <cstdint>
#include <memory>

#include "platform/filters/AsyncReader.h"
#include "platform/filters/ProgramStreamReader.h"

class ProgramStreamTimeline {
 public:
  static constexpr std::size_t kWindow = 128 * 1024;  // bytes read per probe: several packs

  ProgramStreamTimeline();

  // Finds the first and last time stamps of stream `key` (a ProgramStreamReader key) of this kind
  // (video needs a sequence header, or for H.264 a sequence parameter set, to start cleanly).
  // Fails when the stream has no time stamp near its start.
  HRESULT Measure(IAsyncReader* reader, std::uint32_t key, PsStreamKind kind);

  bool IsMeasured() const { return m_measured; }
  std::uint32_t Key() const { return m_key; }
  PsStreamKind Kind() const { return m_kind; }
  std::int64_t Duration() const { return m_duration; }
  std::uint64_t FirstTimestamp() const { return m_first; }  // 33-bit, as in the stream
  // Ticks from the first time stamp to an unwrapped one of the stream (at most one wrap apart).
  std::int64_t TicksFromStart(std::int64_t timestamp) const;

  // The offset of the clean start at or before `ticks` (0 for a time at or before the start).
  HRESULT StartOffset(IAsyncReader* reader, std::int64_t ticks, std::int64_t* offset);
  // The offset of the first pack whose time is after `ticks`, or the stream's length.
  HRESULT StopOffset(IAsyncReader* reader, std::int64_t ticks, std::int64_t* offset);

 private:
  struct Probe {
    bool found = false;
    std::int64_t ticks = 0;    // time of the stream's first timed packet from the probed offset on
    std::int64_t pack = 0;     // offset of the pack that holds it
    bool cleanStart = false;   // that packet begins a sequence header (or the stream is audio)
  };
  // Reads a window at `offset` and looks at the packs that start in it.
  HRESULT ProbeAt(IAsyncReader* reader, std::int64_t offset, Probe* probe);
  // The last offset whose probe is at or before ticks (with lo known to be so), to within a pack.
  HRESULT Bisect(IAsyncReader* reader, std::int64_t ticks, std::int64_t* lo, std::int64_t* hi);

  std::unique_ptr<std::uint8_t[]> m_window;
  std::uint32_t m_key = 0;
  PsStreamKind m_kind = PsStreamKind::Other;
  bool m_measured = false;
  std::uint64_t m_first = 0;
  std::int64_t m_duration = 0;
  std::int64_t m_length = 0;
};
