#pragma once
// The transport-stream side of the demultiplexer: splits a byte stream into 188-byte packets
// (finding sync again after damage), follows each mapped PID's continuity counter and hands the
// payloads to one PesAssembler per PID, which delivers elementary-stream units to the sink.
// Unmapped PIDs are skipped after the header. Not thread-safe: the owner serialises Push with
// MapPid/UnmapPid/Reset (the demultiplexer does this with its receive lock).
//
// Continuity: a payload packet whose counter repeats the previous one is a duplicate and is
// dropped; any other jump is a continuity error: it is counted, the data is kept (a decoder copes
// better with a damaged unit than with a missing one) and the next unit is marked as a
// discontinuity. A jump announced by the adaptation field's discontinuity indicator is no error.
// Nothing is allocated per packet: PID lookups use a fixed table and the assemblers' buffers are
// made when a PID is mapped.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/filters/PesAssembler.h"

struct TsDemuxCounters {
  std::uint64_t packets = 0;
  std::uint64_t syncLosses = 0;         // times sync was lost and searched for again
  std::uint64_t continuityErrors = 0;
  std::uint64_t duplicates = 0;
  std::uint64_t transportErrors = 0;    // transport_error_indicator set (kept, as readers do)
  std::uint64_t scrambled = 0;          // payload scrambled: skipped
  std::uint64_t badAdaptationFields = 0;
  std::uint64_t invalidPesHeaders = 0;
};

class TsDemuxEngine {
 public:
  static constexpr std::size_t kPacketSize = 188;
  static constexpr std::uint16_t kMaxPid = 0x1FFF;

  // unitCapacity: the largest unit delivered (chunk size of unbounded packets); at least
  // PesAssembler::kMinCapacity is used.
  TsDemuxEngine(IPesUnitSink& sink, std::size_t unitCapacity);

  // Sends the payload of pid to output stream `stream`. E_INVALIDARG for a PID above 0x1FFF;
  // S_FALSE when it was already mapped to that stream. A PID mapped to another stream moves.
  HRESULT MapPid(std::uint16_t pid, std::size_t stream);
  // S_FALSE when it was not mapped.
  HRESULT UnmapPid(std::uint16_t pid);
  void UnmapStream(std::size_t stream);
  bool IsMapped(std::uint16_t pid) const { return pid <= kMaxPid && m_slotOfPid[pid] != kNoSlot; }
  // The PIDs mapped to a stream, in ascending order.
  std::vector<std::uint16_t> PidsOf(std::size_t stream) const;

  // Takes any number of bytes; packets may be split across calls. Returns the first failure
  // a sink returned (the rest of the data is then not processed), else S_OK.
  HRESULT Push(const std::uint8_t* data, std::size_t size);
  // End of input: delivers the units still pending.
  HRESULT EndOfStream();
  // Drops partial packets and units and forgets counters and the clock (after a flush or seek).
  void Reset();

  TsDemuxCounters Counters() const;

 private:
  static constexpr std::uint16_t kNoSlot = 0xFFFF;

  struct PidSlot {
    std::uint16_t pid = 0;
    int lastCc = -1;
    std::unique_ptr<PesAssembler> assembler;
  };

  HRESULT ProcessPacket(const std::uint8_t* packet);
  // Index of the next plausible sync byte in data[0..size), or size.
  std::size_t FindSync(const std::uint8_t* data, std::size_t size) const;

  IPesUnitSink& m_sink;
  std::size_t m_unitCapacity;
  TimestampUnwrapper m_clock;
  std::array<std::uint16_t, kMaxPid + 1> m_slotOfPid;
  std::vector<PidSlot> m_slots;
  std::array<std::uint8_t, kPacketSize> m_partial{};
  std::size_t m_partialFill = 0;
  bool m_inSync = true;
  TsDemuxCounters m_counters;
};
