#pragma once
// One 188-byte transport packet: header fields, an optional adaptation field (PCR,
// discontinuity, random access, stuffing) and a payload.
//
// A payload shorter than the room left is padded: by default with adaptation-field stuffing (as
// PES packets need); FillPayloadWith(0xFF) pads after the payload instead (as PSI does). A payload
// longer than the room is cut.
//
//   Packet p = TsPacketBuilder(0x100).Cc(3).Pusi().Pcr(900000).Payload(pes).Build();

#include <cstdint>
#include <optional>

#include "tests/support/Bytes.h"

namespace testsupport {

class TsPacketBuilder {
 public:
  explicit TsPacketBuilder(uint16_t pid) : m_pid(pid & 0x1FFF) {}

  TsPacketBuilder& Pid(uint16_t pid) { m_pid = pid & 0x1FFF; return *this; }
  TsPacketBuilder& Cc(uint8_t continuity_counter) { m_cc = continuity_counter & 0x0F; return *this; }
  TsPacketBuilder& Pusi(bool payload_unit_start_indicator = true) { m_pusi = payload_unit_start_indicator; return *this; }
  TsPacketBuilder& TransportError(bool value = true) { m_transportError = value; return *this; }
  TsPacketBuilder& Priority(bool value = true) { m_priority = value; return *this; }
  TsPacketBuilder& Scrambling(uint8_t transport_scrambling_control) { m_scrambling = transport_scrambling_control & 3; return *this; }

  // PCR as base (90 kHz, 33 bits) and extension (0..299). Implies an adaptation field.
  TsPacketBuilder& Pcr(uint64_t base, uint16_t extension = 0);
  TsPacketBuilder& Discontinuity(bool value = true) { m_discontinuity = value; m_adaptation = true; return *this; }
  TsPacketBuilder& RandomAccess(bool value = true) { m_randomAccess = value; m_adaptation = true; return *this; }
  // An adaptation field even when nothing needs one (length 0 when it holds nothing).
  TsPacketBuilder& AdaptationField(bool present = true) { m_adaptation = present; return *this; }
  // At least this many stuffing bytes inside the adaptation field.
  TsPacketBuilder& Stuffing(uint8_t count) { m_stuffing = count; m_adaptation = true; return *this; }
  // Writes this adaptation_field_length whatever the field holds (for malformed packets).
  TsPacketBuilder& AdaptationFieldLength(uint8_t length) { m_afLengthOverride = length; return *this; }
  // adaptation_field_control as written; normally derived from what is present.
  TsPacketBuilder& AdaptationFieldControl(uint8_t value) { m_afcOverride = value & 3; return *this; }

  TsPacketBuilder& Payload(std::span<const uint8_t> payload) { m_payload.assign(payload.begin(), payload.end()); return *this; }
  // Pad a short payload with this byte after it instead of stuffing the adaptation field.
  TsPacketBuilder& FillPayloadWith(uint8_t byte) { m_fill = byte; return *this; }

  Packet Build() const;

  // Payload bytes that fit beside the adaptation field this builder would write.
  size_t PayloadRoom() const;
  bool HasCc() const { return m_cc.has_value(); }
  uint16_t GetPid() const { return m_pid; }

 private:
  Bytes AdaptationBody() const;  // the field after its length byte, without stuffing

  uint16_t m_pid;
  std::optional<uint8_t> m_cc;
  bool m_pusi = false;
  bool m_transportError = false;
  bool m_priority = false;
  uint8_t m_scrambling = 0;
  bool m_adaptation = false;
  std::optional<uint64_t> m_pcrBase;
  uint16_t m_pcrExtension = 0;
  bool m_discontinuity = false;
  bool m_randomAccess = false;
  uint8_t m_stuffing = 0;
  std::optional<uint8_t> m_afLengthOverride;
  std::optional<uint8_t> m_afcOverride;
  std::optional<uint8_t> m_fill;
  Bytes m_payload;
};

}  // namespace testsupport
