#include "tsfilter/analysis/PatParser.h"

#include "tsfilter/analysis/SectionEnvelope.h"

namespace tsfilter {
namespace {

constexpr std::size_t kPairsOffset = 8;

bool IsAcceptablePat(const std::uint8_t* section, std::size_t available, const SectionHeader& header) {
  return HasPlausibleEnvelope(header) && (header.section_length - 9) % 4 == 0 && header.table_id == 0 &&
         SectionCrcPasses(section, available, header);
}

void ParsePat(const std::uint8_t* section, const SectionHeader& header, PatSection& pat) {
  pat.header = header;
  pat.transport_stream_id = Read16(section + 3);
  const std::size_t pairs = (header.section_length - 9) / 4;
  pat.program_count = 0;
  for (std::size_t i = 0; i < pairs && i < kMaxPatPairs; ++i) {
    const std::uint8_t* pair = section + kPairsOffset + 4 * i;
    pat.programs[i] = {Read16(pair), Read16(pair + 2) & 0x1FFF};
    ++pat.program_count;
  }
}

}  // namespace

bool ProcessPatSection(const std::uint8_t* section, std::size_t available, PatCollector& collector,
                       ProgramTable& programs) {
  SectionHeader header;
  if (!ReadSectionHeader(section, available, header)) return false;
  if (header.current_next_indicator != 1) return false;
  if (!IsAcceptablePat(section, available, header)) return false;

  // The CRC passed, so all section_length + 3 bytes are in reach.
  PatSection parsed;
  ParsePat(section, header, parsed);
  collector.Record(parsed.transport_stream_id, header.version_number, header.section_number);

  const std::size_t pairs = (header.section_length - 9) / 4;
  for (std::size_t i = 0; i < pairs; ++i) {
    const std::uint8_t* pair = section + kPairsOffset + 4 * i;
    const std::uint32_t programNumber = Read16(pair);
    ProgramEntry* entry = programs.Find(programNumber);
    if (!entry) entry = programs.Add(programNumber);
    if (!entry) continue;  // the table is full: the pair is skipped
    entry->pmt_pid = Read16(pair + 2) & 0x1FFF;
    entry->pat = parsed;
  }
  return true;
}

}  // namespace tsfilter
