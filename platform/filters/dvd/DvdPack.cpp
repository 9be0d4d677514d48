#include "platform/filters/dvd/DvdPack.h"

#include "platform/filters/PesHeader.h"

namespace dvd {
namespace {

constexpr std::uint64_t kClockMask = (std::uint64_t{1} << 33) - 1;
constexpr std::size_t kMpeg2PackHeader = 14;
// NAV pack: pack header (14), system header (6 + 18), then the PCI packet 00 00 01 BF.
constexpr std::size_t kPciPacket = 38;
constexpr std::size_t kPciData = kPciPacket + 7;  // after the packet header and the sub-stream id 0

bool IsStartCode(const std::uint8_t* p, std::uint8_t id) { return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == id; }

std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

bool IsElementaryStream(std::uint8_t id) { return id == 0xBD || (id >= 0xC0 && id <= 0xEF); }

// Offset of the first packet after an MPEG-2 pack header, or 0 when the pack has none.
std::size_t FirstPacket(const std::uint8_t* pack, std::size_t size) {
  if (size < kMpeg2PackHeader || !IsStartCode(pack, 0xBA) || (pack[4] & 0xC0) != 0x40) return 0;
  return kMpeg2PackHeader + (pack[13] & 0x07);
}

// Calls visit(packet, packetSize) for each MPEG-2 elementary packet that lies whole in the pack.
template <typename Visit>
void ForEachElementaryPacket(std::uint8_t* pack, std::size_t size, Visit visit) {
  std::size_t pos = FirstPacket(pack, size);
  if (pos == 0) return;
  while (pos + 6 <= size && pack[pos] == 0 && pack[pos + 1] == 0 && pack[pos + 2] == 1) {
    const std::size_t packetSize = 6 + ((std::size_t{pack[pos + 4]} << 8) | pack[pos + 5]);
    if (packetSize > size - pos) return;
    if (IsElementaryStream(pack[pos + 3]) && packetSize >= 9 && (pack[pos + 6] & 0xC0) == 0x80) {
      visit(pack + pos, packetSize);
    }
    pos += packetSize;
  }
}

void WriteTimestamp(std::uint8_t* field, std::uint64_t value) {
  field[0] = static_cast<std::uint8_t>((field[0] & 0xF0) | ((value >> 29) & 0x0E) | 0x01);
  field[1] = static_cast<std::uint8_t>(value >> 22);
  field[2] = static_cast<std::uint8_t>(((value >> 14) & 0xFE) | 0x01);
  field[3] = static_cast<std::uint8_t>(value >> 7);
  field[4] = static_cast<std::uint8_t>(((value << 1) & 0xFE) | 0x01);
}

std::uint64_t ReadScrBase(const std::uint8_t* p) {
  return (std::uint64_t{(p[4] >> 3) & 0x07u} << 30) | (std::uint64_t{p[4] & 0x03u} << 28) | (std::uint64_t{p[5]} << 20) |
         (std::uint64_t{(p[6] >> 3) & 0x1Fu} << 15) | (std::uint64_t{p[6] & 0x03u} << 13) | (std::uint64_t{p[7]} << 5) |
         (p[8] >> 3);
}

void WriteScrBase(std::uint8_t* p, std::uint64_t scr) {
  p[4] = static_cast<std::uint8_t>(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03));
  p[5] = static_cast<std::uint8_t>(scr >> 20);
  p[6] = static_cast<std::uint8_t>(((scr >> 12) & 0xF8) | 0x04 | ((scr >> 13) & 0x03));
  p[7] = static_cast<std::uint8_t>(scr >> 5);
  p[8] = static_cast<std::uint8_t>(((scr << 3) & 0xF8) | 0x04 | (p[8] & 0x03));
}

std::uint64_t Shifted(std::uint64_t value, std::int64_t delta) {
  return (value + static_cast<std::uint64_t>(delta)) & kClockMask;
}

}  // namespace

bool ReadNavPresentationTimes(const std::uint8_t* pack, std::size_t size, std::uint32_t* start, std::uint32_t* end) {
  if (size < kPciData + 20 || FirstPacket(pack, size) != kMpeg2PackHeader) return false;
  if (!IsStartCode(pack + kMpeg2PackHeader, 0xBB) || !IsStartCode(pack + kPciPacket, 0xBF) || pack[kPciData - 1] != 0)
    return false;
  *start = Be32(pack + kPciData + 12);
  *end = Be32(pack + kPciData + 16);
  return true;
}

bool IsScrambledPack(const std::uint8_t* pack, std::size_t size) {
  bool scrambled = false;
  // The visit only reads; the walk is shared with the writer.
  ForEachElementaryPacket(const_cast<std::uint8_t*>(pack), size, [&](const std::uint8_t* packet, std::size_t) {
    if ((packet[6] & 0x30) != 0) scrambled = true;
  });
  return scrambled;
}

void ShiftPackTimestamps(std::uint8_t* pack, std::size_t size, std::int64_t delta) {
  if (FirstPacket(pack, size) == 0) return;
  WriteScrBase(pack, Shifted(ReadScrBase(pack), delta));
  ForEachElementaryPacket(pack, size, [delta](std::uint8_t* packet, std::size_t packetSize) {
    const int flags = packet[7] >> 6;
    const std::size_t headerEnd = 9 + std::size_t{packet[8]};
    if (flags >= 2 && headerEnd >= 14 && headerEnd <= packetSize) {
      WriteTimestamp(packet + 9, Shifted(ReadPesTimestamp(packet + 9), delta));
    }
    if (flags == 3 && headerEnd >= 19 && headerEnd <= packetSize) {
      WriteTimestamp(packet + 14, Shifted(ReadPesTimestamp(packet + 14), delta));
    }
  });
}

}  // namespace dvd
