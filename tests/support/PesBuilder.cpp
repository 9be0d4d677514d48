#include "tests/support/PesBuilder.h"

namespace testsupport {

void AppendTimestamp(Bytes& to, uint8_t prefix, uint64_t value) {
  to.push_back(static_cast<uint8_t>((prefix << 4) | ((value >> 29) & 0x0E) | 1));
  AppendBe16(to, static_cast<uint16_t>(((value >> 14) & 0xFFFE) | 1));
  AppendBe16(to, static_cast<uint16_t>(((value << 1) & 0xFFFE) | 1));
}

Bytes PesBuilder::Build() const {
  Bytes header;
  header.push_back(static_cast<uint8_t>(0x80 | (m_dataAlignment ? 0x04 : 0)));
  const bool hasPts = m_pts.has_value();
  const bool hasDts = hasPts && m_dts.has_value();  // DTS alone is not allowed
  header.push_back(static_cast<uint8_t>((hasPts ? 0x80 : 0) | (hasDts ? 0x40 : 0)));
  header.push_back(static_cast<uint8_t>((hasPts ? 5 : 0) + (hasDts ? 5 : 0) + m_headerStuffing));
  if (hasPts) AppendTimestamp(header, hasDts ? 0x3 : 0x2, *m_pts);
  if (hasDts) AppendTimestamp(header, 0x1, *m_dts);
  header.insert(header.end(), m_headerStuffing, 0xFF);

  const size_t trueLength = header.size() + m_payload.size();
  uint16_t length = 0;
  if (m_lengthOverride) length = *m_lengthOverride;
  else if (!m_unbounded && trueLength <= 0xFFFF) length = static_cast<uint16_t>(trueLength);

  Bytes pes{0x00, 0x00, 0x01, m_streamId};
  AppendBe16(pes, length);
  Append(pes, header);
  Append(pes, m_payload);
  return pes;
}

}  // namespace testsupport
