#include "tsfilter/analysis/PmtParser.h"

#include <algorithm>

#include "tsfilter/analysis/SectionEnvelope.h"

namespace tsfilter {
namespace {

constexpr std::size_t kProgramInfoOffset = 12;
constexpr std::size_t kStreamHeaderSize = 5;
constexpr std::uint8_t kLanguageDescriptorTag = 10;

bool IsAcceptablePmt(const SectionHeader& header, std::uint32_t programInfoLength) {
  return HasPlausibleEnvelope(header) && header.section_length >= programInfoLength + 13 && header.table_id == 2;
}

bool PassesCrcRule(const std::uint8_t* section, std::size_t available, const SectionHeader& header,
                   bool ignoreCrc) {
  if (ignoreCrc || SectionSize(header) >= kPmtParseLimit) return true;
  return SectionCrcPasses(section, available, header);
}

// Walks the descriptors in [begin, end); a tag-10 descriptor gives the language: its bytes after tag
// and length, less the last (the audio type), cut to the field. A later tag 10 overwrites.
void ReadLanguage(const std::uint8_t* section, std::size_t begin, std::size_t end, char (&language)[kLanguageSize]) {
  std::size_t at = begin;
  while (at + 2 <= end) {
    const std::uint8_t tag = section[at];
    const std::size_t length = section[at + 1];
    const std::size_t body = at + 2;
    if (tag == kLanguageDescriptorTag) {
      const std::size_t textEnd = std::min(body + (length > 0 ? length - 1 : 0), end);
      std::size_t n = 0;
      for (std::size_t i = body; i < textEnd && n + 1 < kLanguageSize; ++i) language[n++] = static_cast<char>(section[i]);
      std::fill(language + n, language + kLanguageSize, '\0');
    }
    at = body + length;
  }
}

void ParsePmt(const std::uint8_t* section, std::size_t available, const SectionHeader& header, PmtSection& pmt) {
  pmt = PmtSection{};
  pmt.header = header;
  pmt.header.section_length = std::min<std::uint32_t>(header.section_length, kPmtParseLimit);
  pmt.program_number = Read16(section + 3);
  pmt.PCR_PID = Read16(section + 8) & 0x1FFF;
  pmt.program_info_length = Read16(section + 10) & 0x0FFF;

  // The stream loop ends where the CRC of the capped section would start; reads stay inside the
  // bytes in reach as well.
  const std::size_t loopEnd = pmt.header.section_length - 1;
  std::size_t at = kProgramInfoOffset + pmt.program_info_length;
  while (at < loopEnd && at + kStreamHeaderSize <= available && pmt.stream_count < kMaxPmtStreams) {
    StreamRecord& stream = pmt.streams[pmt.stream_count++];
    stream.stream_type = section[at];
    stream.elementary_PID = Read16(section + at + 1) & 0x1FFF;
    stream.ES_info_length = Read16(section + at + 3) & 0x0FFF;
    const std::size_t descriptorsEnd = std::min(at + kStreamHeaderSize + stream.ES_info_length, available);
    ReadLanguage(section, at + kStreamHeaderSize, descriptorsEnd, stream.language);
    at += kStreamHeaderSize + stream.ES_info_length;
  }
}

}  // namespace

bool ProcessPmtSection(const std::uint8_t* section, std::size_t available, PmtCollector& collector,
                       ProgramTable& programs, std::uint32_t* programNumber) {
  SectionHeader header;
  if (!ReadSectionHeader(section, available, header) || available < kProgramInfoOffset) return false;
  if (header.current_next_indicator != 1) return false;
  const std::uint32_t number = Read16(section + 3);
  if (collector.WasAccepted(number, header.version_number)) return false;
  if (!IsAcceptablePmt(header, Read16(section + 10) & 0x0FFF)) return false;
  if (!PassesCrcRule(section, available, header, collector.ignoreCrc)) return false;

  collector.Record(number, header.version_number);
  if (ProgramEntry* entry = programs.Find(number)) {
    ParsePmt(section, available, header, entry->pmt);
    entry->stream_count = entry->pmt.stream_count;
  }
  if (programNumber) *programNumber = number;
  return true;
}

}  // namespace tsfilter
