#include "platform/filters/dvd/IfoReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace dvd {
namespace {

constexpr char kIdentifier[] = "DVDVIDEO-VTS";
constexpr std::size_t kIdentifierSize = sizeof kIdentifier - 1;
constexpr std::size_t kFixedPartSize = 0x400;  // VTSI_MAT fields end at 0x3D8
constexpr std::size_t kPgcFixedSize = 236;
constexpr std::size_t kCellPlaybackSize = 24;
constexpr std::size_t kCellPositionSize = 4;
constexpr std::size_t kAddressEntrySize = 12;

// Big-endian reads; callers have checked the range.
std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

int Bcd(std::uint8_t value) { return (value >> 4) * 10 + (value & 0x0F); }

// hh mm ss ff (BCD; the frame byte's top bits give the rate: 01 25 fps, 11 29.97 fps).
std::uint32_t PlaybackTicks(const std::uint8_t* p) {
  const std::uint32_t seconds = static_cast<std::uint32_t>(Bcd(p[0]) * 3600 + Bcd(p[1]) * 60 + Bcd(p[2]));
  const int frames = Bcd(p[3] & 0x3F);
  const std::uint32_t frameTicks = (p[3] >> 6) == 3 ? 3003 : 3600;
  return seconds * 90000 + static_cast<std::uint32_t>(frames) * frameTicks;
}

// A table that starts at a sector of the IFO and says where its last byte is.
struct Table {
  std::size_t start = 0;
  std::size_t end = 0;  // one past the last byte
};

// The table at `sector` with its "last byte" field at byte 4: checked against the bytes present.
IfoStatus LocateTable(const std::uint8_t* data, std::size_t size, std::uint32_t sector, std::size_t headerSize,
                      Table* table) {
  const std::uint64_t start = std::uint64_t{sector} * kSectorSize;
  if (start + headerSize > size) return IfoStatus::Truncated;
  const std::uint64_t lastByte = Be32(data + start + 4);
  if (lastByte + 1 < headerSize) return IfoStatus::BadTable;
  if (start + lastByte + 1 > size) return IfoStatus::Truncated;
  table->start = static_cast<std::size_t>(start);
  table->end = static_cast<std::size_t>(start + lastByte + 1);
  return IfoStatus::Ok;
}

struct AddressEntry {
  std::uint16_t vobId;
  std::uint8_t cellId;
  std::uint32_t first;
  std::uint32_t last;
};

IfoStatus ReadCellAddressTable(const std::uint8_t* data, std::size_t size, std::uint32_t sector,
                               std::vector<AddressEntry>* entries) {
  if (sector == 0) return IfoStatus::BadTable;
  Table table;
  IfoStatus status = LocateTable(data, size, sector, 8, &table);
  if (status != IfoStatus::Ok) return status;
  const std::size_t count = (table.end - table.start - 8) / kAddressEntrySize;
  entries->clear();
  entries->reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = data + table.start + 8 + i * kAddressEntrySize;
    AddressEntry entry{Be16(e), e[2], Be32(e + 4), Be32(e + 8)};
    if (entry.first > entry.last) return IfoStatus::BadTable;
    entries->push_back(entry);
  }
  return IfoStatus::Ok;
}

// The address table must cover the cell: a chain pointing elsewhere lies about the VOBs.
bool IsBackedByAddressTable(const DvdCell& cell, const std::vector<AddressEntry>& entries) {
  std::uint32_t first = std::numeric_limits<std::uint32_t>::max(), last = 0;
  bool found = false;
  for (const AddressEntry& e : entries) {
    if (e.vobId != cell.vobId || e.cellId != cell.cellId) continue;
    found = true;
    first = std::min(first, e.first);
    last = std::max(last, e.last);
  }
  return found && first <= cell.firstSector && cell.lastSector <= last;
}

IfoStatus ReadProgramChain(const std::uint8_t* data, const Table& pgcit, std::size_t pgc,
                           const std::vector<AddressEntry>& addresses, DvdTitle* title) {
  if (pgc < pgcit.start || pgc > pgcit.end || pgcit.end - pgc < kPgcFixedSize) return IfoStatus::BadTable;
  const std::uint8_t* p = data + pgc;
  const std::size_t cellCount = p[3];
  title->playbackTicks = PlaybackTicks(p + 4);
  title->cells.clear();
  if (cellCount == 0) return IfoStatus::Ok;
  const std::size_t playback = Be16(p + 0xE8);
  const std::size_t position = Be16(p + 0xEA);
  const std::size_t room = pgcit.end - pgc;
  if (playback == 0 || position == 0 || playback + cellCount * kCellPlaybackSize > room ||
      position + cellCount * kCellPositionSize > room) {
    return IfoStatus::BadTable;
  }
  for (std::size_t i = 0; i < cellCount; ++i) {
    const std::uint8_t* c = p + playback + i * kCellPlaybackSize;
    const std::uint8_t* at = p + position + i * kCellPositionSize;
    DvdCell cell;
    cell.firstSector = Be32(c + 8);
    cell.lastVobuStartSector = Be32(c + 16);
    cell.lastSector = Be32(c + 20);
    cell.vobId = Be16(at);
    cell.cellId = at[3];
    cell.stcDiscontinuity = (c[0] & 0x02) != 0;
    cell.interleaved = (c[0] & 0x05) != 0;
    if (cell.firstSector > cell.lastSector || cell.lastVobuStartSector < cell.firstSector ||
        cell.lastVobuStartSector > cell.lastSector) {
      return IfoStatus::BadTable;
    }
    const int blockMode = c[0] >> 6, blockType = (c[0] >> 4) & 0x03;
    if (blockType == 1 && blockMode >= 2) continue;  // a further angle of an angle block
    if (!IsBackedByAddressTable(cell, addresses)) return IfoStatus::BadTable;
    title->cells.push_back(cell);
  }
  return IfoStatus::Ok;
}

void ReadAttributes(const std::uint8_t* data, DvdTitleSet* out) {
  const std::uint8_t video = data[0x200];
  out->mpeg2Video = (video >> 6) == 1;
  out->pal = ((video >> 4) & 0x03) == 1;
  out->wide = ((video >> 2) & 0x03) == 3;
  const std::size_t audioCount = std::min<std::size_t>(data[0x203], 8);
  out->audio.clear();
  for (std::size_t i = 0; i < audioCount; ++i) {
    const std::uint8_t* a = data + 0x204 + i * 8;
    DvdAudioAttributes attributes;
    attributes.coding = a[0] >> 5;
    attributes.channels = static_cast<std::uint8_t>((a[1] & 0x07) + 1);
    if (((a[0] >> 2) & 0x03) == 1 && a[2] >= 'a' && a[2] <= 'z' && a[3] >= 'a' && a[3] <= 'z') {
      attributes.language[0] = static_cast<char>(a[2]);
      attributes.language[1] = static_cast<char>(a[3]);
    }
    out->audio.push_back(attributes);
  }
}

}  // namespace

const char* IfoStatusText(IfoStatus status) {
  switch (status) {
    case IfoStatus::Ok:
      return "the title set information is sound";
    case IfoStatus::NotATitleSet:
      return "the file is not a DVD title set information file (VTS_nn_0.IFO)";
    case IfoStatus::Truncated:
      return "the title set information file is cut short";
    case IfoStatus::BadTable:
      return "the title set's program chain or cell address table is damaged";
    case IfoStatus::NoTitle:
      return "the title set holds no playable title";
  }
  return "unknown title set status";
}

std::uint64_t DvdTitle::SectorCount() const {
  std::uint64_t sectors = 0;
  for (const DvdCell& cell : cells) sectors += cell.SectorCount();
  return sectors;
}

const DvdTitle* DvdTitleSet::LongestTitle() const {
  const DvdTitle* best = nullptr;
  for (const DvdTitle& title : titles) {
    if (!best || title.SectorCount() > best->SectorCount()) best = &title;
  }
  return best;
}

IfoStatus ReadTitleSetIfo(const std::uint8_t* data, std::size_t size, DvdTitleSet* out) {
  if (!data && size > 0) return IfoStatus::Truncated;
  const std::size_t compared = std::min(size, kIdentifierSize);
  if (compared > 0 && std::memcmp(data, kIdentifier, compared) != 0) return IfoStatus::NotATitleSet;
  if (size < kFixedPartSize) return IfoStatus::Truncated;

  DvdTitleSet result;
  result.titleVobStartSector = Be32(data + 0xC4);
  ReadAttributes(data, &result);

  std::vector<AddressEntry> addresses;
  IfoStatus status = ReadCellAddressTable(data, size, Be32(data + 0xE0), &addresses);
  if (status != IfoStatus::Ok) return status;

  const std::uint32_t pgcitSector = Be32(data + 0xCC);
  if (pgcitSector == 0) return IfoStatus::NoTitle;
  Table pgcit;
  status = LocateTable(data, size, pgcitSector, 8, &pgcit);
  if (status != IfoStatus::Ok) return status;
  const std::size_t chains = Be16(data + pgcit.start);
  if (8 + chains * 8 > pgcit.end - pgcit.start) return IfoStatus::BadTable;

  // Entry chains start titles; a table that marks none is read as one title from its first chain.
  bool anyEntry = false;
  for (std::size_t i = 0; i < chains; ++i) anyEntry = anyEntry || (data[pgcit.start + 8 + i * 8] & 0x80) != 0;
  for (std::size_t i = 0; i < chains; ++i) {
    const std::uint8_t* pointer = data + pgcit.start + 8 + i * 8;
    const bool entry = (pointer[0] & 0x80) != 0;
    if (anyEntry ? !entry : i > 0) continue;
    DvdTitle title;
    title.titleNumber = anyEntry ? static_cast<std::uint8_t>(pointer[0] & 0x7F) : 1;
    title.pgcNumber = static_cast<std::uint16_t>(i + 1);
    status = ReadProgramChain(data, pgcit, pgcit.start + Be32(pointer + 4), addresses, &title);
    if (status != IfoStatus::Ok) return status;
    if (!title.cells.empty()) result.titles.push_back(std::move(title));
  }
  if (result.titles.empty()) return IfoStatus::NoTitle;
  *out = std::move(result);
  return IfoStatus::Ok;
}

}  // namespace dvd
