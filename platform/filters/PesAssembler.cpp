#include "platform/filters/PesAssembler.h"

#include <algorithm>
#include <cstring>

PesAssembler::PesAssembler(std::size_t stream, std::size_t capacity)
    : m_stream(stream), m_capacity(std::max(capacity, kMinCapacity)), m_buffer(new std::uint8_t[m_capacity]) {}

void PesAssembler::Reset() {
  m_fill = 0;
  m_payloadOffset = 0;
  m_remaining = 0;
  m_state = State::WaitingForStart;
  m_discontinuity = true;
}

HRESULT PesAssembler::Start(const std::uint8_t* data, std::size_t size, IPesUnitSink& sink,
                            TimestampUnwrapper& clock) {
  HRESULT hr = Flush(sink, clock);
  m_fill = 0;
  m_payloadOffset = 0;
  m_remaining = 0;
  m_state = State::Header;
  m_firstUnitOfPacket = true;
  HRESULT appended = Append(data, size, sink, clock);
  return FAILED(hr) ? hr : appended;
}

HRESULT PesAssembler::Continue(const std::uint8_t* data, std::size_t size, IPesUnitSink& sink,
                               TimestampUnwrapper& clock) {
  if (m_state == State::WaitingForStart || m_state == State::Complete) return S_OK;
  return Append(data, size, sink, clock);
}

HRESULT PesAssembler::Flush(IPesUnitSink& sink, TimestampUnwrapper& clock) {
  if (m_state == State::Header) {
    // A packet cut before its header was complete: nothing usable.
    if (!TryParseHeader(clock)) {
      m_state = State::WaitingForStart;
      m_fill = 0;
      return S_OK;
    }
  }
  HRESULT hr = S_OK;
  if (m_state == State::Payload) hr = DeliverPending(sink);
  m_state = State::WaitingForStart;
  m_fill = 0;
  m_payloadOffset = 0;
  return hr;
}

bool PesAssembler::TryParseHeader(TimestampUnwrapper& clock) {
  PesHeader header;
  switch (ParsePesHeader(m_buffer.get(), m_fill, &header)) {
    case PesParse::NeedMore:
      return false;
    case PesParse::Invalid:
      ++m_invalidHeaders;
      m_state = State::WaitingForStart;
      m_fill = 0;
      m_discontinuity = true;
      return false;
    case PesParse::Ok:
      break;
  }
  m_payloadOffset = header.payloadOffset;
  m_remaining = header.PES_packet_length == 0 ? 0 : header.TotalSize() - header.payloadOffset;
  m_pendingTimes = PesUnit{};
  if (header.hasPts) {
    m_pendingTimes.hasPts = true;
    m_pendingTimes.hasDts = header.hasDts;
    // The decode time comes first in a stream, so it goes through the clock first.
    m_pendingTimes.dts = clock.Unwrap(header.dts);
    m_pendingTimes.pts = header.hasDts ? clock.Unwrap(header.pts) : m_pendingTimes.dts;
  }
  m_state = State::Payload;
  return true;
}

HRESULT PesAssembler::Append(const std::uint8_t* data, std::size_t size, IPesUnitSink& sink,
                             TimestampUnwrapper& clock) {
  while (size > 0) {
    if (m_state == State::Header) {
      // Header bytes gather in the buffer until the header parses; the header is at most 264
      // bytes, so copying byte-exact amounts is unnecessary: take what fits.
      const std::size_t take = std::min(size, m_capacity - m_fill);
      std::memcpy(m_buffer.get() + m_fill, data, take);
      m_fill += take;
      data += take;
      size -= take;
      if (!TryParseHeader(clock)) {
        if (m_state == State::WaitingForStart) return S_OK;   // not a PES packet
        if (m_fill == m_capacity) { Reset(); ++m_invalidHeaders; return S_OK; }
        continue;
      }
      // Payload bytes that came with the header count against a bounded packet.
      const std::size_t payloadHere = m_fill - m_payloadOffset;
      if (m_remaining != 0) {
        if (payloadHere >= m_remaining) {
          m_fill = m_payloadOffset + m_remaining;  // trailing bytes after the packet are not payload
          m_remaining = 0;
          HRESULT hr = DeliverPending(sink);
          m_state = State::Complete;
          return hr;
        }
        m_remaining -= payloadHere;
      } else if (m_fill == m_capacity) {
        HRESULT hr = DeliverPending(sink);
        if (FAILED(hr)) return hr;
      }
      continue;
    }
    if (m_state != State::Payload) return S_OK;

    std::size_t take = std::min(size, m_capacity - m_fill);
    if (m_remaining != 0) take = std::min(take, m_remaining);
    std::memcpy(m_buffer.get() + m_fill, data, take);
    m_fill += take;
    data += take;
    size -= take;
    if (m_remaining != 0) {
      m_remaining -= take;
      if (m_remaining == 0) {
        HRESULT hr = DeliverPending(sink);
        m_state = State::Complete;
        return hr;
      }
    } else if (m_fill == m_capacity) {
      // A chunk of an unbounded packet; the rest continues at the buffer's start.
      HRESULT hr = DeliverPending(sink);
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

HRESULT PesAssembler::DeliverPending(IPesUnitSink& sink) {
  if (m_fill <= m_payloadOffset) {
    m_fill = m_payloadOffset = 0;
    return S_OK;
  }
  PesUnit unit;
  if (m_firstUnitOfPacket) unit = m_pendingTimes;
  unit.data = m_buffer.get() + m_payloadOffset;
  unit.size = m_fill - m_payloadOffset;
  unit.isPesStart = m_firstUnitOfPacket;
  unit.discontinuity = m_discontinuity;
  m_firstUnitOfPacket = false;
  m_discontinuity = false;
  m_fill = 0;
  m_payloadOffset = 0;
  return sink.DeliverPesUnit(m_stream, unit);
}
