#pragma once
// Builds one long-form PSI section: the 8-byte header, a body and CRC-32/MPEG-2.
// section_length is computed unless overridden; the CRC can be spoiled for negative tests.
//
//   Bytes s = SectionBuilder(0x02).TableIdExtension(1).Version(3).Body(body).Build();

#include <cstdint>
#include <optional>

#include "tests/support/Bytes.h"

namespace testsupport {

class SectionBuilder {
 public:
  explicit SectionBuilder(uint8_t table_id = 0) : m_tableId(table_id) {}

  SectionBuilder& TableId(uint8_t table_id) { m_tableId = table_id; return *this; }
  SectionBuilder& TableIdExtension(uint16_t value) { m_tableIdExtension = value; return *this; }
  SectionBuilder& Version(uint8_t version_number) { m_version = version_number & 0x1F; return *this; }
  SectionBuilder& CurrentNext(bool current_next_indicator) { m_currentNext = current_next_indicator; return *this; }
  SectionBuilder& SectionNumber(uint8_t section_number) { m_sectionNumber = section_number; return *this; }
  SectionBuilder& LastSectionNumber(uint8_t last_section_number) { m_lastSectionNumber = last_section_number; return *this; }
  SectionBuilder& SyntaxIndicator(bool section_syntax_indicator) { m_syntaxIndicator = section_syntax_indicator; return *this; }
  // Writes this section_length instead of the true one (the bytes stay as built).
  SectionBuilder& SectionLength(uint16_t section_length) { m_sectionLength = section_length; return *this; }
  SectionBuilder& Body(Bytes body) { m_body = std::move(body); return *this; }
  // Adds one to the last CRC byte, so the CRC check fails.
  SectionBuilder& SpoilCrc(bool spoil = true) { m_spoilCrc = spoil; return *this; }

  // The whole section, from table_id to the last CRC byte.
  Bytes Build() const;

 private:
  uint8_t m_tableId;
  uint16_t m_tableIdExtension = 1;
  uint8_t m_version = 0;
  bool m_currentNext = true;
  uint8_t m_sectionNumber = 0;
  uint8_t m_lastSectionNumber = 0;
  bool m_syntaxIndicator = true;
  std::optional<uint16_t> m_sectionLength;
  Bytes m_body;
  bool m_spoilCrc = false;
};

// Adds one to the last byte of a finished section (its CRC).
void SpoilCrc(Bytes& section);

// True when the CRC over the whole section, CRC bytes included, is 0.
bool HasValidCrc(std::span<const uint8_t> section);

}  // namespace testsupport
