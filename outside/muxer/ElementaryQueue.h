#pragma once
// ElementaryQueue: the bytes of one elementary stream waiting to be multiplexed, cut into access
// units (video pictures, audio frames) as they arrive, each with its presentation and decode time.
//
// Input arrives in chunks (one demultiplexed PES payload each) whose time stamp belongs to the
// first access unit that starts inside the chunk, as in a PES packet; the queue finds that unit
// and stamps it. Audio units without a stamp get times counted on from the last stamped frame;
// video units without a stamp inherit the previous decode time (for scheduling only).
//
// Storage is allocated once in Init: a linear byte buffer compacted when it runs out at the end,
// and a ring of access units. Offsets are absolute byte positions in the stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "outside/elementary/AudioFrameInfo.h"
#include "outside/muxer/StreamKind.h"
#include "platform/com/hresult.h"

namespace outside {

struct AccessUnit {
  std::int64_t offset = 0;     // stream offset of the unit's first byte
  std::int64_t pts = kNoTime;  // 90 kHz; given (stamped) or, for audio, counted from frame durations
  std::int64_t dts = kNoTime;  // 90 kHz decode time; inherited from the previous unit when not given
  bool stamped = false;        // the times came with the input
};

class ElementaryQueue {
 public:
  HRESULT Init(StreamKind kind, std::size_t byteCapacity, std::size_t unitCapacity);

  // Copies as much of the chunk as fits and returns the count taken. pts/dts (kNoTime when absent)
  // belong to the chunk; continuesChunk says these bytes are the rest of the previous call's chunk.
  std::size_t Append(const std::uint8_t* data, std::size_t size, std::int64_t pts, std::int64_t dts,
                     bool continuesChunk);
  // No more input: every byte becomes sendable.
  void MarkEnded();
  // Marks n sendable bytes as sent and forgets units that lie wholly before the read position.
  void Consume(std::size_t n);

  StreamKind Kind() const { return m_kind; }
  bool Ended() const { return m_ended; }
  std::int64_t ReadOffset() const { return m_read; }
  std::int64_t EndOffset() const { return m_end; }
  // Bytes before this offset have their unit boundaries known, so they may be sent.
  std::int64_t ScannedOffset() const { return m_ended ? m_end : m_scanned; }
  std::int64_t Sendable() const { return ScannedOffset() - m_read; }
  const std::uint8_t* Data(std::int64_t offset) const { return m_bytes.data() + (offset - m_base); }
  std::size_t FreeBytes() const { return m_bytes.size() - static_cast<std::size_t>(m_end - m_read); }
  // More than three quarters full (bytes or units): the multiplexer must send even if it would
  // rather wait for another stream.
  bool IsCrowded() const;

  // Units from the oldest kept one (the unit holding the read position, if any) onwards.
  std::size_t UnitCount() const { return m_unitCount; }
  const AccessUnit& Unit(std::size_t i) const { return m_units[(m_unitHead + i) % m_units.size()]; }
  // Index of the first unit starting at or after offset (UnitCount() when none).
  std::size_t FirstUnitAtOrAfter(std::int64_t offset) const;
  // Decode time of the byte at the read position: its unit's, else the next unit's; kNoTime if none.
  std::int64_t ReadDts() const;
  // First stamped decode time seen so far (kNoTime when none).
  std::int64_t FirstDts() const { return m_firstDts; }
  // Header facts of the first audio frame (zero when none found); MPEG audio version 1, 2 or 25.
  const AudioFrameInfo& FirstFrame() const { return m_firstFrame; }
  int MpegAudioVersion() const { return m_mpegVersion; }
  // Stamps that found no unit starting in their chunk.
  std::uint64_t DroppedStamps() const { return m_droppedStamps; }

 private:
  struct Stamp {
    std::int64_t start, end, pts, dts;
  };
  void Scan();
  void ScanStartCodes();
  void ScanAudioFrames();
  bool ParseFrameAt(std::int64_t offset, AudioFrameInfo& info);
  bool FindSyncFrom(std::int64_t& offset);
  bool AddUnit(std::int64_t offset, const AudioFrameInfo* frame);
  void OnStartCode(std::int64_t offset, std::uint8_t code);
  void PushStamp(const Stamp& stamp);

  StreamKind m_kind = StreamKind::Mpeg2Video;
  std::vector<std::uint8_t> m_bytes;
  std::int64_t m_base = 0;  // stream offset of m_bytes[0]
  std::int64_t m_read = 0;
  std::int64_t m_end = 0;
  std::int64_t m_scanned = 0;
  bool m_ended = false;

  std::vector<AccessUnit> m_units;
  std::size_t m_unitHead = 0;
  std::size_t m_unitCount = 0;

  static constexpr std::size_t kMaxStamps = 64;
  Stamp m_stamps[kMaxStamps] = {};
  std::size_t m_stampHead = 0;
  std::size_t m_stampCount = 0;
  std::uint64_t m_droppedStamps = 0;

  // Video start-code state: headers (sequence, GOP) seen since the last picture; H.264 NAL state.
  bool m_inHeaders = false;
  bool m_sawAud = false;
  bool m_afterVcl = false;
  // Audio frame state.
  std::int64_t m_nextFrame = 0;
  std::int64_t m_basePts = kNoTime;
  std::uint64_t m_samplesSinceBase = 0;
  std::uint32_t m_rate = 0;
  AudioFrameInfo m_firstFrame;
  int m_mpegVersion = 0;

  std::int64_t m_lastDts = kNoTime;
  std::int64_t m_firstDts = kNoTime;
};

}  // namespace outside
