#include "tsfilter/analysis/SectionEnvelope.h"

#include "tsfilter/analysis/Crc32Mpeg2.h"

namespace tsfilter {

bool ReadSectionHeader(const std::uint8_t* section, std::size_t available, SectionHeader& header) {
  if (available < kSectionHeaderSize) return false;
  header.table_id = section[0];
  header.section_syntax_indicator = section[1] >> 7;
  header.section_length = Read16(section + 1) & 0x0FFF;
  header.version_number = (section[5] >> 1) & 0x1F;
  header.current_next_indicator = section[5] & 0x01;
  header.section_number = section[6];
  header.last_section_number = section[7];
  return true;
}

bool HasPlausibleEnvelope(const SectionHeader& header) {
  return header.section_length <= kMaxSectionLength && header.section_length >= 5 &&
         header.last_section_number >= header.section_number && header.section_syntax_indicator == 1;
}

bool SectionCrcPasses(const std::uint8_t* section, std::size_t available, const SectionHeader& header) {
  const std::size_t size = SectionSize(header);
  return size <= available && Crc32Mpeg2(section, size) == 0;
}

}  // namespace tsfilter
