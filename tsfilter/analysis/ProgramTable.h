#pragma once
// The programs named by the PAT, each with its PAT and PMT copies and its service name.
// Entries are created zero-filled when a PAT first names them and are never removed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "tsfilter/analysis/PsiTypes.h"

namespace tsfilter {

class ProgramTable {
 public:
  static constexpr std::size_t kCapacity = 500;

  std::size_t Count() const { return m_count; }
  // nullptr when the index is at or beyond the count.
  ProgramEntry* At(std::size_t index);
  const ProgramEntry* At(std::size_t index) const;
  ProgramEntry* Find(std::uint32_t programNumber);
  const ProgramEntry* Find(std::uint32_t programNumber) const;
  // Creates a zero-filled entry; nullptr when the table is full or memory is short.
  ProgramEntry* Add(std::uint32_t programNumber);

 private:
  std::array<std::unique_ptr<ProgramEntry>, kCapacity> m_entries;
  std::size_t m_count = 0;
};

// PatCollector and SdtCollector share this shape: what the accepted sections said.
struct SectionCollector {
  static constexpr std::size_t kSectionNumbersKept = 256;
  std::uint32_t transport_stream_id = 0;
  std::uint32_t version_number = 0;
  std::uint32_t section_count = 0;                     // sections accepted
  std::uint8_t section_numbers[kSectionNumbersKept] = {};  // the first ones, in order

  void Record(std::uint32_t tsid, std::uint32_t version, std::uint32_t sectionNumber);
};
using PatCollector = SectionCollector;
using SdtCollector = SectionCollector;

// The (program_number, version_number) pairs of the PMT sections accepted so far.
struct PmtCollector {
  static constexpr std::size_t kCapacity = 500;
  struct Pair {
    std::uint32_t program_number = 0;
    std::uint32_t version_number = 0;
  };
  bool ignoreCrc = false;
  std::uint32_t count = 0;
  Pair pairs[kCapacity] = {};

  bool WasAccepted(std::uint32_t programNumber, std::uint32_t version) const;
  // Once the pairs are full, further acceptances are not remembered.
  void Record(std::uint32_t programNumber, std::uint32_t version);
};

}  // namespace tsfilter
