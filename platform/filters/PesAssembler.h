#pragma once
// Reassembles the PES packets of one PID from transport packet payloads into one buffer that is
// allocated once and reused for every packet. A bounded PES packet is delivered as soon as it is
// complete; an unbounded one (length 0) is delivered in chunks of the buffer's size and its rest
// when the next packet starts. Bytes before the first packet start are dropped, as are packets
// whose header is not a PES header.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/filters/PesHeader.h"
#include "platform/filters/PesUnit.h"
#include "platform/filters/TimestampUnwrapper.h"

class PesAssembler {
 public:
  // Smallest chunk size: a bounded PES packet (at most 65541 bytes) always fits whole.
  static constexpr std::size_t kMinCapacity = 6 + 65535 + 256;

  PesAssembler(std::size_t stream, std::size_t capacity);

  // A payload that starts a new PES packet: what was pending is delivered first.
  HRESULT Start(const std::uint8_t* data, std::size_t size, IPesUnitSink& sink, TimestampUnwrapper& clock);
  // A payload that continues the current packet.
  HRESULT Continue(const std::uint8_t* data, std::size_t size, IPesUnitSink& sink, TimestampUnwrapper& clock);
  // Delivers what is pending (end of stream).
  HRESULT Flush(IPesUnitSink& sink, TimestampUnwrapper& clock);
  // Drops what is pending; the next unit is marked as a discontinuity.
  void Reset();
  // Bytes were lost before the next payload (continuity error): the next unit says so.
  void MarkDiscontinuity() { m_discontinuity = true; }

  std::size_t Stream() const { return m_stream; }
  std::size_t InvalidHeaders() const { return m_invalidHeaders; }

 private:
  enum class State { WaitingForStart, Header, Payload, Complete };

  HRESULT Append(const std::uint8_t* data, std::size_t size, IPesUnitSink& sink, TimestampUnwrapper& clock);
  bool TryParseHeader(TimestampUnwrapper& clock);
  HRESULT DeliverPending(IPesUnitSink& sink);

  std::size_t m_stream;
  std::size_t m_capacity;
  std::unique_ptr<std::uint8_t[]> m_buffer;
  std::size_t m_fill = 0;
  std::size_t m_payloadOffset = 0;  // start of payload within m_buffer
  std::size_t m_remaining = 0;      // bytes still expected of a bounded packet (0 = unbounded)
  State m_state = State::WaitingForStart;
  bool m_discontinuity = true;
  PesUnit m_pendingTimes;           // time stamps for the first unit of the current packet
  bool m_firstUnitOfPacket = false;
  std::size_t m_invalidHeaders = 0;
};
