#pragma once
// Packetiser: lays sections, PES packets, single packets and junk into a byte stream, keeping a
// continuity counter per PID, and writes the result to a file.
//
//   TsStream ts;
//   ts.Section(0x0000, PatBuilder().Program(1, 0x1000).Build())
//     .Section(0x1000, PmtBuilder(1).PcrPid(0x100).Stream(0x02, 0x100).Build())
//     .Pes(0x100, PesBuilder(0xE0).Pts(3600).Payload(header).Build(), /*pcr=*/0);
//   ts.WriteTo(path);

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>

#include "tests/support/TsPacketBuilder.h"

namespace testsupport {

class TsStream {
 public:
  // One packet; a builder without an explicit continuity counter gets the PID's next one.
  TsStream& Add(TsPacketBuilder packet);
  // One finished packet, as it is (the PID's counter is not advanced).
  TsStream& Add(const Packet& packet);

  // A PSI section split over packets of the PID: the first packet has payload_unit_start and a
  // pointer field (pointer_field bytes of 0xFF precede the section), the last is padded with 0xFF.
  TsStream& Section(uint16_t pid, std::span<const uint8_t> section, uint8_t pointer_field = 0);

  // A PES packet split over packets of the PID: the first has payload_unit_start (and a PCR when
  // given), the last is padded with adaptation-field stuffing.
  TsStream& Pes(uint16_t pid, std::span<const uint8_t> pes, std::optional<uint64_t> pcr = std::nullopt);

  // Null packets (PID 0x1FFF).
  TsStream& NullPackets(size_t count);

  // Bytes that are not packets (before the first packet, or between packets).
  TsStream& Junk(std::span<const uint8_t> bytes) { Append(m_data, bytes); return *this; }
  TsStream& Junk(size_t count, uint8_t value = 0x00) { m_data.insert(m_data.end(), count, value); return *this; }

  // Next continuity counter for a PID, and a way to set it (e.g. to make a CC jump).
  uint8_t NextCc(uint16_t pid) const;
  TsStream& SetNextCc(uint16_t pid, uint8_t cc) { m_nextCc[pid] = cc & 0x0F; return *this; }

  const Bytes& Data() const { return m_data; }
  size_t Size() const { return m_data.size(); }
  // Whole packets written so far (junk bytes counted in 188-byte units are not meaningful).
  size_t PacketCount() const { return m_packets; }

  // Writes the stream; false when the file cannot be written.
  bool WriteTo(const std::filesystem::path& path) const;

 private:
  uint8_t TakeCc(uint16_t pid);

  Bytes m_data;
  std::map<uint16_t, uint8_t> m_nextCc;
  size_t m_packets = 0;
};

}  // namespace testsupport
