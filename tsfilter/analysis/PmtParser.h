#pragma once
// Program Map Table (ISO/IEC 13818-1, 2.4.4.8), taken from a single packet. A PMT is accepted once
// per (program_number, version_number); a new version of a known program is processed again.
// Sections of section_length + 3 >= 180 bytes are accepted even when their CRC fails, because only
// the part that fits into the packet (up to byte 179) is parsed.
#include <cstddef>
#include <cstdint>

#include "tsfilter/analysis/ProgramTable.h"

namespace tsfilter {

// `section` starts at its table_id; `available` bytes are in reach. Returns whether the section was
// accepted; then `*programNumber` (if given) holds its program_number.
bool ProcessPmtSection(const std::uint8_t* section, std::size_t available, PmtCollector& collector,
                       ProgramTable& programs, std::uint32_t* programNumber = nullptr);

}  // namespace tsfilter
