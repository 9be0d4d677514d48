#pragma once
// Program Association Table (ISO/IEC 13818-1, 2.4.4.3). The first PAT section accepted names the
// programs; once one is accepted the examiner offers no other.
#include <cstddef>
#include <cstdint>

#include "tsfilter/analysis/ProgramTable.h"

namespace tsfilter {

// `section` starts at its table_id; `available` bytes are in reach (183 when taken from byte 5 of a
// packet). Returns whether the section was accepted. There is no way to skip the PAT's CRC: a
// section longer than `available` is rejected.
bool ProcessPatSection(const std::uint8_t* section, std::size_t available, PatCollector& collector,
                       ProgramTable& programs);

}  // namespace tsfilter
