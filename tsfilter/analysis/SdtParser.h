#pragma once
// Service Description Table of the actual transport stream (EN 300 468, 5.2.3, table_id 0x42),
// taken from PID 0x11 only. Its sections may span several packets; service names are copied into
// the programs whose program_number equals the service_id.
#include <cstddef>
#include <cstdint>

#include "tsfilter/analysis/ProgramTable.h"

namespace tsfilter {

inline constexpr std::size_t kServiceNameSize = 32;  // a stored service name, NUL-terminated

// Processes one complete SDT section (`available` bytes in reach). Returns whether it was accepted.
bool ProcessSdtSection(const std::uint8_t* section, std::size_t available, SdtCollector& collector,
                       ProgramTable& programs);

// Gathers one SDT section over several packets of PID 0x11. A section starts an assembly only when
// it is too long for one packet (section_length >= 189); continuation packets give their 184 bytes
// from byte 4. The buffer is a fixed member: nothing is allocated.
class SectionAssembler {
 public:
  // Feeds one 188-byte packet of PID 0x11.
  void ProcessSdtPacket(const std::uint8_t* packet, SdtCollector& collector, ProgramTable& programs);
  bool IsAssembling() const { return m_assembling; }

 private:
  void Append(const std::uint8_t* bytes, std::size_t count);

  std::uint8_t m_buffer[kMaxSectionLength + 3] = {};
  std::size_t m_written = 0;
  std::size_t m_expected = 0;  // section_length + 3 of the section being assembled
  bool m_assembling = false;
};

}  // namespace tsfilter
