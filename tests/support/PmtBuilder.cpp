#include "tests/support/PmtBuilder.h"

namespace testsupport {

PmtBuilder& PmtBuilder::Stream(uint8_t stream_type, uint16_t elementary_pid, const std::vector<Bytes>& descriptors) {
  Bytes esInfo;
  for (const Bytes& d : descriptors) Append(esInfo, d);
  m_streams.push_back(stream_type);
  AppendBe16(m_streams, static_cast<uint16_t>(0xE000 | (elementary_pid & 0x1FFF)));
  AppendBe16(m_streams, static_cast<uint16_t>(0xF000 | (esInfo.size() & 0x0FFF)));
  Append(m_streams, esInfo);
  return *this;
}

Bytes PmtBuilder::BuildBody() const {
  Bytes body;
  AppendBe16(body, static_cast<uint16_t>(0xE000 | (m_pcrPid & 0x1FFF)));
  AppendBe16(body, static_cast<uint16_t>(0xF000 | (m_programInfo.size() & 0x0FFF)));
  Append(body, m_programInfo);
  Append(body, m_streams);
  return body;
}

}  // namespace testsupport
