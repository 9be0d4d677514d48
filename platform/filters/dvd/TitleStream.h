#pragma once
// One title of a title set as the program stream a demultiplexer reads: the sectors of its cells,
// in play order, one after the other. Where a cell's clock does not continue the previous cell's
// (its first VOBU does not start when the previous cell's last VOBU ends, as after an STC
// discontinuity or when cells of different VOBs follow each other), every time stamp of the
// cell is shifted so that the stream stays continuous. Reads are positioned and keep no state,
// so they may come from several threads.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/filters/dvd/IfoReader.h"
#include "platform/filters/dvd/VobSet.h"

namespace dvd {

class TitleStream {
 public:
  // Opens the title's VOBs and checks the cells against them. Returns S_OK, DVD_E_VOB_MISSING,
  // DVD_E_CELL_TABLE or DVD_E_ENCRYPTED, with a sentence naming the problem in *problem.
  HRESULT Open(const std::string& folder, int titleSet, const DvdTitle& title, std::string* problem);
  void Close();

  std::uint64_t Length() const { return m_cellStart.empty() ? 0 : m_cellStart.back(); }
  // Reads bytes at a position of the stream: S_OK, S_FALSE when the stream ends first, or an error.
  HRESULT Read(std::uint64_t position, std::size_t length, std::uint8_t* out) const;

 private:
  HRESULT ReadCellSectors(std::size_t cell, std::uint64_t sectorInCell, std::size_t count, std::uint8_t* out) const;
  void FindTimeShifts();

  VobSet m_vobs;
  std::vector<DvdCell> m_cells;
  std::vector<std::uint64_t> m_cellStart;  // byte offset of each cell; one more entry: the length
  std::vector<std::int64_t> m_shift;       // 90 kHz shift of each cell's time stamps
};

}  // namespace dvd
