#pragma once
// The envelope of a long PSI section (ISO/IEC 13818-1, 2.4.4): header fields, the plausibility
// tests the examiner applies before it offers a section to a table, and the CRC check.
// `available` is always the number of bytes really in reach from `section`; nothing beyond it is read.
#include <cstddef>
#include <cstdint>

#include "tsfilter/analysis/PsiTypes.h"

namespace tsfilter {

inline constexpr std::size_t kSectionHeaderSize = 8;

// Fills `header` from the first eight bytes; false when fewer are available.
bool ReadSectionHeader(const std::uint8_t* section, std::size_t available, SectionHeader& header);

// section_length 5..1021, last_section_number >= section_number, section_syntax_indicator 1.
bool HasPlausibleEnvelope(const SectionHeader& header);

// Total bytes of the section: section_length + 3.
constexpr std::size_t SectionSize(const SectionHeader& header) { return header.section_length + 3u; }

// True when all section_length + 3 bytes are available and their CRC-32/MPEG-2 is 0.
// A section that claims more bytes than are available cannot pass.
bool SectionCrcPasses(const std::uint8_t* section, std::size_t available, const SectionHeader& header);

// Big-endian reads; callers check the bounds first.
constexpr std::uint32_t Read16(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }

}  // namespace tsfilter
