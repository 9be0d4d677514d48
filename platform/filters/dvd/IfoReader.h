#pragma once
// Reads a DVD title set's information file (VTS_nn_0.IFO, or its byte copy VTS_nn_0.BUP): the
// title attributes, the program chains that start titles, and for each such chain the cells it
// plays, in play order, with their sector ranges in the title VOBs' address space.
//
// Every pointer, count and length in the file is checked against the bytes present before it is
// followed. Each played cell must also be backed by the cell address table (the same VOB id and
// cell id, and a sector range that covers it): a chain whose cells point where the address table
// has nothing is reported as a damaged table rather than read as garbage.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dvd {

inline constexpr std::size_t kSectorSize = 2048;

enum class IfoStatus {
  Ok,
  NotATitleSet,  // no "DVDVIDEO-VTS" identifier: another file
  Truncated,     // a table lies past the end of the bytes present
  BadTable,      // a table contradicts itself or the cell address table
  NoTitle,       // no program chain with a playable cell
};

const char* IfoStatusText(IfoStatus status);

struct DvdCell {
  std::uint32_t firstSector = 0;          // first VOBU start, in the title VOB space
  std::uint32_t lastSector = 0;           // last VOBU end (inclusive)
  std::uint32_t lastVobuStartSector = 0;  // the NAV pack of the cell's last VOBU
  std::uint16_t vobId = 0;
  std::uint8_t cellId = 0;
  bool stcDiscontinuity = false;  // time stamps restart at this cell
  bool interleaved = false;       // seamless angle or interleaved unit: other data is mixed in

  std::uint64_t SectorCount() const { return std::uint64_t{lastSector} - firstSector + 1; }
};

struct DvdTitle {
  std::uint8_t titleNumber = 0;  // the VTS title number (1-based)
  std::uint16_t pgcNumber = 0;   // 1-based index in the program chain table
  std::uint32_t playbackTicks = 0;  // 90 kHz, from the chain's BCD playback time
  std::vector<DvdCell> cells;       // in play order; other angles of angle blocks left out

  std::uint64_t SectorCount() const;
};

struct DvdAudioAttributes {
  std::uint8_t coding = 0;    // 0 AC3, 2 MPEG-1, 3 MPEG-2 extension, 4 LPCM, 6 DTS
  std::uint8_t channels = 0;  // 1..8
  char language[3] = {};      // ISO 639 letters, empty when absent
};

struct DvdTitleSet {
  std::uint32_t titleVobStartSector = 0;  // relative to the IFO's first sector
  bool mpeg2Video = true;
  bool pal = false;
  bool wide = false;  // 16:9
  std::vector<DvdAudioAttributes> audio;
  std::vector<DvdTitle> titles;  // one per entry chain, in table order

  // The title to deliver: the one with the most sectors (the main feature), the first on a tie.
  const DvdTitle* LongestTitle() const;
};

IfoStatus ReadTitleSetIfo(const std::uint8_t* data, std::size_t size, DvdTitleSet* out);

}  // namespace dvd
