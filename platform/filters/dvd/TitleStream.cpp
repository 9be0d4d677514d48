#include "platform/filters/dvd/TitleStream.h"

#include <algorithm>
#include <cstring>

#include "platform/filters/dvd/DvdPack.h"
#include "platform/dshow/Errors.h"
#include "platform/filters/dvd/TitleSetFiles.h"

namespace dvd {
namespace {

constexpr std::int64_t kClockWrap = std::int64_t{1} << 33;
constexpr std::size_t kEncryptionProbeSectors = 64;

// The difference of two 33-bit clock values, taken as the nearer way round the wrap.
std::int64_t ClockDifference(std::int64_t to, std::int64_t from) {
  std::int64_t d = (to - from) % kClockWrap;
  if (d >= kClockWrap / 2) d -= kClockWrap;
  if (d < -kClockWrap / 2) d += kClockWrap;
  return d;
}

}  // namespace

void TitleStream::Close() {
  m_vobs.Close();
  m_cells.clear();
  m_cellStart.clear();
  m_shift.clear();
}

HRESULT TitleStream::Open(const std::string& folder, int titleSet, const DvdTitle& title, std::string* problem) {
  Close();
  if (!m_vobs.Open(folder, titleSet)) {
    *problem = TitleSetFileName(titleSet, 1, "VOB") + " is missing in " + folder;
    return DVD_E_VOB_MISSING;
  }
  for (const DvdCell& cell : title.cells) {
    if (cell.lastSector < m_vobs.Sectors()) continue;
    if (m_vobs.HasGap()) {
      *problem = "a VOB file of title set " + std::to_string(titleSet) + " is missing in " + folder;
      Close();
      return DVD_E_VOB_MISSING;
    }
    *problem = "cell " + std::to_string(cell.cellId) + " ends at sector " + std::to_string(cell.lastSector) +
               ", but the VOB files hold " + std::to_string(m_vobs.Sectors()) + " sectors";
    Close();
    return DVD_E_CELL_TABLE;
  }
  m_cells = title.cells;
  m_cellStart.push_back(0);
  for (const DvdCell& cell : m_cells) m_cellStart.push_back(m_cellStart.back() + cell.SectorCount() * kSectorSize);

  std::uint8_t sector[kSectorSize];
  const DvdCell& first = m_cells.front();
  const std::size_t probe = static_cast<std::size_t>(std::min<std::uint64_t>(first.SectorCount(), kEncryptionProbeSectors));
  for (std::size_t i = 0; i < probe; ++i) {
    if (m_vobs.ReadSectors(first.firstSector + i, 1, sector) != S_OK) break;
    if (IsScrambledPack(sector, sizeof sector)) {
      *problem = "the VOBs of title set " + std::to_string(titleSet) + " are encrypted";
      Close();
      return DVD_E_ENCRYPTED;
    }
  }
  FindTimeShifts();
  return S_OK;
}

void TitleStream::FindTimeShifts() {
  m_shift.assign(m_cells.size(), 0);
  std::uint8_t nav[kSectorSize];
  bool havePreviousEnd = false;
  std::int64_t previousEnd = 0;  // as delivered, after its cell's shift
  for (std::size_t i = 0; i < m_cells.size(); ++i) {
    const DvdCell& cell = m_cells[i];
    std::int64_t shift = i > 0 ? m_shift[i - 1] : 0;
    std::uint32_t start = 0, end = 0;
    if (havePreviousEnd && m_vobs.ReadSectors(cell.firstSector, 1, nav) == S_OK &&
        ReadNavPresentationTimes(nav, sizeof nav, &start, &end)) {
      shift = ClockDifference(previousEnd, start);
    }
    m_shift[i] = shift;
    havePreviousEnd = m_vobs.ReadSectors(cell.lastVobuStartSector, 1, nav) == S_OK &&
                      ReadNavPresentationTimes(nav, sizeof nav, &start, &end);
    if (havePreviousEnd) previousEnd = (std::int64_t{end} + shift) % kClockWrap;
  }
}

HRESULT TitleStream::ReadCellSectors(std::size_t cell, std::uint64_t sectorInCell, std::size_t count,
                                     std::uint8_t* out) const {
  HRESULT hr = m_vobs.ReadSectors(m_cells[cell].firstSector + sectorInCell, count, out);
  if (hr != S_OK) return hr;
  if (m_shift[cell] != 0) {
    for (std::size_t i = 0; i < count; ++i) ShiftPackTimestamps(out + i * kSectorSize, kSectorSize, m_shift[cell]);
  }
  return S_OK;
}

HRESULT TitleStream::Read(std::uint64_t position, std::size_t length, std::uint8_t* out) const {
  std::uint8_t partial[kSectorSize];
  while (length > 0) {
    if (position >= Length()) return S_FALSE;
    const std::size_t cell =
        static_cast<std::size_t>(std::upper_bound(m_cellStart.begin(), m_cellStart.end(), position) - m_cellStart.begin()) - 1;
    const std::uint64_t inCell = position - m_cellStart[cell];
    const std::uint64_t sectorInCell = inCell / kSectorSize;
    const std::size_t inSector = static_cast<std::size_t>(inCell % kSectorSize);
    const std::uint64_t leftInCell = m_cellStart[cell + 1] - position;
    std::size_t done = 0;
    if (inSector == 0 && length >= kSectorSize) {
      // Whole sectors straight into the caller's buffer.
      const std::size_t sectors = static_cast<std::size_t>(std::min<std::uint64_t>(length, leftInCell) / kSectorSize);
      HRESULT hr = ReadCellSectors(cell, sectorInCell, sectors, out);
      if (hr != S_OK) return hr;
      done = sectors * kSectorSize;
    } else {
      HRESULT hr = ReadCellSectors(cell, sectorInCell, 1, partial);
      if (hr != S_OK) return hr;
      done = std::min(length, kSectorSize - inSector);
      std::memcpy(out, partial + inSector, done);
    }
    out += done;
    position += done;
    length -= done;
  }
  return S_OK;
}

}  // namespace dvd
