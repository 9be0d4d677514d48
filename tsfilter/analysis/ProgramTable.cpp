#include "tsfilter/analysis/ProgramTable.h"

#include <new>

namespace tsfilter {

ProgramEntry* ProgramTable::At(std::size_t index) { return index < m_count ? m_entries[index].get() : nullptr; }

const ProgramEntry* ProgramTable::At(std::size_t index) const {
  return index < m_count ? m_entries[index].get() : nullptr;
}

ProgramEntry* ProgramTable::Find(std::uint32_t programNumber) {
  for (std::size_t i = 0; i < m_count; ++i)
    if (m_entries[i]->program_number == programNumber) return m_entries[i].get();
  return nullptr;
}

const ProgramEntry* ProgramTable::Find(std::uint32_t programNumber) const {
  return const_cast<ProgramTable*>(this)->Find(programNumber);
}

ProgramEntry* ProgramTable::Add(std::uint32_t programNumber) {
  if (m_count >= kCapacity) return nullptr;
  std::unique_ptr<ProgramEntry> entry(new (std::nothrow) ProgramEntry());
  if (!entry) return nullptr;
  entry->program_number = programNumber;
  m_entries[m_count] = std::move(entry);
  return m_entries[m_count++].get();
}

void SectionCollector::Record(std::uint32_t tsid, std::uint32_t version, std::uint32_t sectionNumber) {
  transport_stream_id = tsid;
  version_number = version;
  if (section_count < kSectionNumbersKept) section_numbers[section_count] = static_cast<std::uint8_t>(sectionNumber);
  ++section_count;
}

bool PmtCollector::WasAccepted(std::uint32_t programNumber, std::uint32_t version) const {
  const std::uint32_t held = count < kCapacity ? count : kCapacity;
  for (std::uint32_t i = 0; i < held; ++i)
    if (pairs[i].program_number == programNumber && pairs[i].version_number == version) return true;
  return false;
}

void PmtCollector::Record(std::uint32_t programNumber, std::uint32_t version) {
  if (count < kCapacity) pairs[count] = {programNumber, version};
  ++count;
}

}  // namespace tsfilter
