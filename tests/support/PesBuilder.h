#pragma once
// A PES packet with an MPEG-2 PES header: start code, stream_id, PES_packet_length, optional
// PTS/DTS (90 kHz, 33 bits) and the payload.
//
//   PesBuilder(0xE0).Pts(129600).Dts(126000).Unbounded().Payload(sequenceHeader).Build()

#include <cstdint>
#include <optional>

#include "tests/support/Bytes.h"

namespace testsupport {

class PesBuilder {
 public:
  explicit PesBuilder(uint8_t stream_id) : m_streamId(stream_id) {}

  PesBuilder& Pts(uint64_t pts) { m_pts = pts & kMask33; return *this; }
  PesBuilder& Dts(uint64_t dts) { m_dts = dts & kMask33; return *this; }
  // PES_packet_length 0, as video PES packets of unbounded length carry.
  PesBuilder& Unbounded(bool unbounded = true) { m_unbounded = unbounded; return *this; }
  // Writes this PES_packet_length instead of the true one.
  PesBuilder& PacketLength(uint16_t pes_packet_length) { m_lengthOverride = pes_packet_length; return *this; }
  // Extra stuffing bytes (0xFF) in the header, counted in PES_header_data_length.
  PesBuilder& HeaderStuffing(uint8_t count) { m_headerStuffing = count; return *this; }
  PesBuilder& DataAlignment(bool value = true) { m_dataAlignment = value; return *this; }
  PesBuilder& Payload(Bytes payload) { m_payload = std::move(payload); return *this; }
  PesBuilder& AppendPayload(std::span<const uint8_t> bytes) { Append(m_payload, bytes); return *this; }

  // A PES_packet_length that does not fit 16 bits is written as 0.
  Bytes Build() const;

  static constexpr uint64_t kMask33 = (uint64_t{1} << 33) - 1;

 private:
  uint8_t m_streamId;
  std::optional<uint64_t> m_pts;
  std::optional<uint64_t> m_dts;
  bool m_unbounded = false;
  std::optional<uint16_t> m_lengthOverride;
  uint8_t m_headerStuffing = 0;
  bool m_dataAlignment = false;
  Bytes m_payload;
};

// The five bytes of a PTS or DTS field with the given four-bit prefix (0x2 PTS only, 0x3 PTS
// followed by DTS, 0x1 DTS).
void AppendTimestamp(Bytes& to, uint8_t prefix, uint64_t value);

}  // namespace testsupport
