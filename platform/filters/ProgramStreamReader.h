#pragma once
// Reads an MPEG program stream (MPEG-2 packs or an MPEG-1 system stream, ISO/IEC 13818-1 2.5 and
// ISO/IEC 11172-1) from bytes pushed in blocks of any size, and delivers the payload of the
// PES packets of mapped streams to an IPesUnitSink, one unit per PES packet.
//
// Streams are named by a key: the stream_id for MPEG audio (0xC0-0xDF) and video (0xE0-0xEF);
// for private stream 1 in DVD style, 0xBD00 | sub-stream id, with the sub-stream header removed
// (AC3/DTS 0x80-0x8F: 3 bytes; LPCM 0xA0-0xA7: 6 bytes; subpictures 0x20-0x3F: none); a private
// stream 1 payload without a sub-stream id that starts with the AC3 sync word is raw AC3, key
// kRawAc3Key. Pack headers, system headers, maps, padding and private stream 2 are skipped.
// Damaged bytes are skipped up to the next start code and counted. One buffer, allocated at
// construction, holds the bytes of the packet being read; nothing is allocated per packet.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/filters/PesUnit.h"
#include "platform/filters/TimestampUnwrapper.h"

enum class PsStreamKind { Mpeg1Video, Mpeg2Video, H264Video, MpegAudio, Ac3Audio, Other };

struct PsStreamInfo {
  std::uint32_t key = 0;
  PsStreamKind kind = PsStreamKind::Other;
};

struct PsReaderCounters {
  std::uint64_t packs = 0;
  std::uint64_t pesPackets = 0;
  std::uint64_t resyncs = 0;        // damaged bytes skipped to the next start code
  std::uint64_t invalidPackets = 0; // PES headers that did not parse
};

class ProgramStreamReader {
 public:
  static constexpr std::uint32_t kRawAc3Key = 0xBD0B77;

  explicit ProgramStreamReader(IPesUnitSink& sink);

  // Sends the payload of the stream with this key to output stream `stream`.
  void MapStream(std::uint32_t key, std::size_t stream);
  void UnmapAll() { m_map.clear(); }

  HRESULT Push(const std::uint8_t* data, std::size_t size);
  // End of input: a packet cut by the end of the data is dropped (it cannot be complete).
  HRESULT EndOfStream();
  // Forgets buffered bytes and the clock (after a flush or seek); the next units are discontinuous.
  void Reset();
  // After a seek into the middle: the stream's bytes are dropped until its first clean start (a
  // sequence header, or for H.264 a sequence parameter set), so that its output begins decodable.
  // Call after Reset, which disarms it.
  void TrimUntilCleanStart(std::uint32_t key, PsStreamKind kind);
  // At a stop in the middle: of the stream's next packet only the bytes before its first picture
  // start (the end of the picture before) are delivered, without a time stamp, and nothing after,
  // so that its output ends with a whole picture. Reset disarms it.
  void EndBeforeNextPicture(std::uint32_t key, PsStreamKind kind);

  const PsReaderCounters& Counters() const { return m_counters; }
  // The latest decode time (90 kHz, unwrapped) of a unit delivered since the last Reset; -1 before.
  std::int64_t LastTimestamp() const { return m_lastTimestamp; }

  // Looks at the start of a program stream and lists its elementary streams in the order of their
  // first packet. Returns false when the bytes do not look like a program stream (no pack header
  // at the start).
  static bool Probe(const std::uint8_t* data, std::size_t size, std::vector<PsStreamInfo>* streams);

 private:
  struct Mapping {
    std::uint32_t key;
    std::size_t stream;
    bool discontinuity;
  };

  // Handles the complete packets in m_buffer; returns the bytes used.
  HRESULT Parse(std::size_t* consumed);
  HRESULT HandlePes(const std::uint8_t* packet, std::size_t size);

  IPesUnitSink& m_sink;
  std::unique_ptr<std::uint8_t[]> m_buffer;
  std::size_t m_fill = 0;
  std::vector<Mapping> m_map;
  TimestampUnwrapper m_clock;
  PsReaderCounters m_counters;
  bool m_inSync = true;
  std::int64_t m_lastTimestamp = -1;
  std::uint32_t m_trimKey = 0;  // 0: nothing to trim
  PsStreamKind m_trimKind = PsStreamKind::Other;
  std::uint32_t m_endKey = 0;  // 0: no end armed
  PsStreamKind m_endKind = PsStreamKind::Other;
  bool m_ended = false;  // the end was reached: the stream's units are dropped
};

// What a PES packet of a program stream carries: its stream key, and where its elementary
// payload lies within the packet. False when the packet is not an elementary stream packet.
struct PsPayload {
  std::uint32_t key = 0;
  std::size_t offset = 0;
  std::size_t size = 0;
};
bool LocatePsPayload(const std::uint8_t* packet, std::size_t size, std::size_t payloadOffset, PsPayload* out);

// Bytes of the system-level unit (pack header, PES packet, map, padding, end code) at p, whose
// start code 00 00 01 is known to be there: 0 when its length fields are not within `available`
// yet. Sets *invalid for bytes that are no such unit.
std::size_t PsUnitSize(const std::uint8_t* p, std::size_t available, bool* invalid);

// Offset of the first point in a video elementary stream where decoding can begin (a sequence
// header; for H.264 a sequence parameter set), or size when there is none. Other kinds: 0.
std::size_t FindCleanStart(const std::uint8_t* es, std::size_t size, PsStreamKind kind);

// Offset of the first start code in a video elementary stream that begins a new picture (for
// MPEG-1/2 a picture, GOP or sequence header; for H.264 an access unit delimiter, a sequence
// parameter set or a slice), or size when there is none.
std::size_t FindPictureStart(const std::uint8_t* es, std::size_t size, PsStreamKind kind);
