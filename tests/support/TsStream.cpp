#include "tests/support/TsStream.h"

#include <algorithm>
#include <fstream>

namespace testsupport {

uint8_t TsStream::NextCc(uint16_t pid) const {
  auto it = m_nextCc.find(pid);
  return it == m_nextCc.end() ? 0 : it->second;
}

uint8_t TsStream::TakeCc(uint16_t pid) {
  const uint8_t cc = NextCc(pid);
  m_nextCc[pid] = static_cast<uint8_t>((cc + 1) & 0x0F);
  return cc;
}

TsStream& TsStream::Add(TsPacketBuilder packet) {
  if (!packet.HasCc()) packet.Cc(TakeCc(packet.GetPid()));
  return Add(packet.Build());
}

TsStream& TsStream::Add(const Packet& packet) {
  Append(m_data, packet);
  ++m_packets;
  return *this;
}

TsStream& TsStream::Section(uint16_t pid, std::span<const uint8_t> section, uint8_t pointer_field) {
  Bytes payload{pointer_field};
  payload.insert(payload.end(), pointer_field, 0xFF);
  Append(payload, section);
  bool first = true;
  for (size_t pos = 0; pos < payload.size() || first; first = false) {
    const size_t take = std::min(kPacketSize - 4, payload.size() - pos);
    Add(TsPacketBuilder(pid).Pusi(first).FillPayloadWith(0xFF).Payload(std::span(payload).subspan(pos, take)));
    pos += take;
  }
  return *this;
}

TsStream& TsStream::Pes(uint16_t pid, std::span<const uint8_t> pes, std::optional<uint64_t> pcr) {
  bool first = true;
  for (size_t pos = 0; pos < pes.size() || first; first = false) {
    TsPacketBuilder packet(pid);
    packet.Pusi(first);
    if (first && pcr) packet.Pcr(*pcr);
    const size_t take = std::min(packet.PayloadRoom(), pes.size() - pos);
    packet.Payload(pes.subspan(pos, take));
    Add(std::move(packet));
    pos += take;
  }
  return *this;
}

TsStream& TsStream::NullPackets(size_t count) {
  for (size_t i = 0; i < count; ++i) Add(TsPacketBuilder(0x1FFF).Cc(0).FillPayloadWith(0xFF));
  return *this;
}

bool TsStream::WriteTo(const std::filesystem::path& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(m_data.data()), static_cast<std::streamsize>(m_data.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace testsupport
