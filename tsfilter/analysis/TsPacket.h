#pragma once
// Transport packet facts and the few header reads every part of the analysis shares.
// Every helper reads only inside the 188 bytes of one packet.
#include <cstddef>
#include <cstdint>

namespace tsfilter {

inline constexpr std::size_t kPacketSize = 188;
inline constexpr std::uint8_t kSyncByte = 0x47;
inline constexpr std::uint16_t kNullPid = 0x1FFF;
inline constexpr std::uint16_t kSdtPid = 0x11;

// 13-bit packet identifier from bytes 1-2.
constexpr std::uint16_t PacketPid(const std::uint8_t* packet) {
  return static_cast<std::uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
}

constexpr bool HasPayloadUnitStart(const std::uint8_t* packet) { return (packet[1] & 0x40) != 0; }

// Where a PES packet would begin: right after the header when byte 4 is 0, else after an
// adaptation field of byte 4's length. The adaptation_field_control bits are not consulted, as
// every analysis step of this filter does. Returns kPacketSize when that lies outside the packet.
constexpr std::size_t PesStartOffset(const std::uint8_t* packet) {
  const std::size_t afLength = packet[4];
  const std::size_t start = afLength == 0 ? 4 : 5 + afLength;
  return start < kPacketSize ? start : kPacketSize;
}

// True when the packet holds 00 00 01 at `offset` (all three bytes inside the packet).
constexpr bool HasStartCodeAt(const std::uint8_t* packet, std::size_t offset) {
  return offset + 3 <= kPacketSize && packet[offset] == 0 && packet[offset + 1] == 0 &&
         packet[offset + 2] == 1;
}

// Offset of the PES payload for a PES packet starting at `pes` (MPEG-2 header: 9 + header data
// length; otherwise 6). Returns kPacketSize when it lies outside the packet.
constexpr std::size_t PesPayloadOffset(const std::uint8_t* packet, std::size_t pes) {
  if (pes + 7 > kPacketSize) return kPacketSize;
  std::size_t payload = pes + 6;
  if ((packet[pes + 6] & 0xC0) == 0x80) {
    if (pes + 9 > kPacketSize) return kPacketSize;
    payload = pes + 9 + packet[pes + 8];
  }
  return payload < kPacketSize ? payload : kPacketSize;
}

}  // namespace tsfilter
