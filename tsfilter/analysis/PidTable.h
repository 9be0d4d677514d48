#pragma once
// The PID census: packets examined per PID and what each PID carries, in a fixed table of 1000
// rows inside the filter. Counts are examination counts (a short census window is counted more
// than once), which the shares shown to users do not notice.
#include <array>
#include <cstddef>
#include <cstdint>

namespace tsfilter {

// Content codes beside the stream_id values (0xBC..0xFF) a PES header may carry.
inline constexpr std::uint8_t kContentUnknown = 0;
inline constexpr std::uint8_t kContentH264 = 27;   // PES payload begins with an access unit delimiter
inline constexpr std::uint8_t kContentAc3 = 249;   // AC-3 sync word, or a private stream 1 PES >= 1800 bytes

struct PidEntry {
  std::uint16_t pid = 0;
  std::uint32_t packets = 0;
  std::uint8_t contentCode = 0;
};

// What a packet that starts a PES packet carries (0 when it starts none or cannot be read).
std::uint8_t ContentCodeOf(const std::uint8_t* packet);

// The description shown for a census row; `pmtPid` is the current program's PMT PID.
const char* DescribePid(std::uint8_t contentCode, std::uint16_t pid, std::uint32_t pmtPid);

class PidTable {
 public:
  static constexpr std::size_t kCapacity = 1000;

  // Counts one examination of a packet of `pid`. The first non-zero code of a PID is kept, except
  // that 249 (AC-3) always overwrites. A PID beyond the 1000th distinct one is not recorded.
  void AddPid(std::uint16_t pid, std::uint8_t contentCode);
  // Orders the rows by packet count, busiest first; equal counts keep their order of appearance.
  void SortPidTable();

  std::size_t RowCount() const { return m_count; }
  // Any of the 1000 rows; rows at or beyond the count are zero.
  const PidEntry& Row(std::size_t index) const { return m_rows[index < kCapacity ? index : kCapacity - 1]; }
  const PidEntry* Find(std::uint16_t pid) const;

 private:
  std::array<PidEntry, kCapacity> m_rows{};
  std::size_t m_count = 0;
};

}  // namespace tsfilter
