#include "tests/support/SectionBuilder.h"

#include "tests/support/Crc32Mpeg2.h"

namespace testsupport {

Bytes SectionBuilder::Build() const {
  // section_length counts everything after the length field: 5 header bytes, body, 4 CRC bytes.
  const size_t trueLength = 5 + m_body.size() + 4;
  const uint16_t length = m_sectionLength.value_or(static_cast<uint16_t>(trueLength & 0x0FFF));

  Bytes section;
  section.reserve(3 + trueLength);
  section.push_back(m_tableId);
  // section_syntax_indicator, '0', two reserved bits, 12-bit section_length.
  section.push_back(static_cast<uint8_t>((m_syntaxIndicator ? 0x80 : 0x00) | 0x30 | ((length >> 8) & 0x0F)));
  section.push_back(static_cast<uint8_t>(length));
  AppendBe16(section, m_tableIdExtension);
  section.push_back(static_cast<uint8_t>(0xC0 | (m_version << 1) | (m_currentNext ? 1 : 0)));
  section.push_back(m_sectionNumber);
  section.push_back(m_lastSectionNumber);
  Append(section, m_body);
  AppendBe32(section, Crc32Mpeg2(section));
  if (m_spoilCrc) testsupport::SpoilCrc(section);
  return section;
}

void SpoilCrc(Bytes& section) {
  if (!section.empty()) ++section.back();
}

bool HasValidCrc(std::span<const uint8_t> section) { return !section.empty() && Crc32Mpeg2(section) == 0; }

}  // namespace testsupport
