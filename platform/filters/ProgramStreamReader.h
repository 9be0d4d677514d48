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

  const PsReaderCounters& Counters() const { return m_counters; }

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
};

// What a PES packet of a program stream carries: its stream key, and where its elementary
// payload lies within the packet. False when the packet is not an elementary stream packet.
struct PsPayload {
  std::uint32_t key = 0;
  std::size_t offset = 0;
  std::size_t size = 0;
};
bool LocatePsPayload(const std::uint8_t* packet, std::size_t size, std::size_t payloadOffset, PsPayload* out);
