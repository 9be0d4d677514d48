#pragma once
// The title VOBs of a title set (VTS_nn_1.VOB ... VTS_nn_9.VOB) as one sector address space: a
// sector lies in the file where the sizes of the files before it add up. Reads are positioned
// (pread), so several threads may read at once.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/hresult.h"

namespace dvd {

class VobSet {
 public:
  VobSet() = default;
  ~VobSet();
  VobSet(const VobSet&) = delete;
  VobSet& operator=(const VobSet&) = delete;

  // Opens the title VOBs that follow each other from VTS_nn_1.VOB on; false when that one is
  // missing. A part missing between two present ones ends the address space there (HasGap).
  bool Open(const std::string& folder, int titleSet);
  void Close();

  std::uint64_t Sectors() const;
  // A part is missing while a later one is present: sectors past Sectors() are in files not read.
  bool HasGap() const { return m_gap; }

  // Reads count whole sectors from `sector` on: S_FALSE when the address space ends first.
  HRESULT ReadSectors(std::uint64_t sector, std::size_t count, std::uint8_t* out) const;

 private:
  struct Part {
    int fd;
    std::uint64_t firstByte;  // in the address space
    std::uint64_t size;
  };
  std::vector<Part> m_parts;
  std::uint64_t m_bytes = 0;
  bool m_gap = false;
};

}  // namespace dvd
