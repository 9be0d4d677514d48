#include "tests/support/TsPacketBuilder.h"

#include <algorithm>

namespace testsupport {

TsPacketBuilder& TsPacketBuilder::Pcr(uint64_t base, uint16_t extension) {
  m_pcrBase = base & ((uint64_t{1} << 33) - 1);
  m_pcrExtension = extension & 0x1FF;
  m_adaptation = true;
  return *this;
}

Bytes TsPacketBuilder::AdaptationBody() const {
  Bytes body;
  const bool any = m_pcrBase || m_discontinuity || m_randomAccess || m_stuffing > 0;
  if (!any) return body;
  body.push_back(static_cast<uint8_t>((m_discontinuity ? 0x80 : 0) | (m_randomAccess ? 0x40 : 0) | (m_pcrBase ? 0x10 : 0)));
  if (m_pcrBase) {
    const uint64_t base = *m_pcrBase;
    body.push_back(static_cast<uint8_t>(base >> 25));
    body.push_back(static_cast<uint8_t>(base >> 17));
    body.push_back(static_cast<uint8_t>(base >> 9));
    body.push_back(static_cast<uint8_t>(base >> 1));
    body.push_back(static_cast<uint8_t>(((base & 1) << 7) | 0x7E | ((m_pcrExtension >> 8) & 1)));
    body.push_back(static_cast<uint8_t>(m_pcrExtension));
  }
  body.insert(body.end(), m_stuffing, 0xFF);
  return body;
}

size_t TsPacketBuilder::PayloadRoom() const {
  if (!m_adaptation) return kPacketSize - 4;
  const size_t afBytes = 1 + AdaptationBody().size();
  return afBytes >= kPacketSize - 4 ? 0 : kPacketSize - 4 - afBytes;
}

Packet TsPacketBuilder::Build() const {
  Bytes af = AdaptationBody();
  bool hasAdaptation = m_adaptation;
  const size_t roomWithoutAf = kPacketSize - 4;
  size_t room = hasAdaptation ? roomWithoutAf - std::min(roomWithoutAf, 1 + af.size()) : roomWithoutAf;
  const size_t payloadBytes = std::min(room, m_payload.size());

  // Stuff the adaptation field so the payload ends the packet, unless padding after it was asked.
  if (!m_fill && payloadBytes < room) {
    size_t missing = room - payloadBytes;
    hasAdaptation = true;
    if (!m_adaptation) {
      // The length byte takes the first missing byte, the flags byte the second.
      --missing;
      if (missing > 0) { af.push_back(0x00); --missing; }
    } else if (af.empty() && missing > 0) {
      af.push_back(0x00);
      --missing;
    }
    af.insert(af.end(), missing, 0xFF);
    room = payloadBytes;
  }

  Packet p;
  p.fill(m_fill.value_or(0xFF));
  p[0] = kSyncByte;
  p[1] = static_cast<uint8_t>((m_transportError ? 0x80 : 0) | (m_pusi ? 0x40 : 0) | (m_priority ? 0x20 : 0) | (m_pid >> 8));
  p[2] = static_cast<uint8_t>(m_pid);
  const bool hasPayload = !m_payload.empty() || (m_fill && room > 0);
  const uint8_t afc = m_afcOverride.value_or(static_cast<uint8_t>((hasAdaptation ? 2 : 0) | (hasPayload || !hasAdaptation ? 1 : 0)));
  p[3] = static_cast<uint8_t>((m_scrambling << 6) | (afc << 4) | m_cc.value_or(0));

  size_t pos = 4;
  if (hasAdaptation) {
    const size_t afLength = std::min(af.size(), kPacketSize - 5);
    p[pos++] = m_afLengthOverride.value_or(static_cast<uint8_t>(afLength));
    std::copy_n(af.begin(), afLength, p.begin() + static_cast<std::ptrdiff_t>(pos));
    pos += afLength;
  }
  const size_t copy = std::min(payloadBytes, kPacketSize - pos);
  std::copy_n(m_payload.begin(), copy, p.begin() + static_cast<std::ptrdiff_t>(pos));
  return p;
}

}  // namespace testsupport
