// Reads arbitrary bytes as a title set's IFO file, and as one VOB pack: the NAV times, the
// scrambling check and the time-stamp shift the DVD source applies. Any crash, out-of-range read
// or undefined behaviour is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/filters/dvd/DvdPack.h"
#include "platform/filters/dvd/IfoReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  dvd::DvdTitleSet set;
  if (dvd::ReadTitleSetIfo(data, size, &set) == dvd::IfoStatus::Ok) {
    const dvd::DvdTitle* title = set.LongestTitle();
    std::uint64_t sectors = 0;
    for (const dvd::DvdCell& cell : title->cells) sectors += cell.SectorCount();
    if (sectors != title->SectorCount()) __builtin_trap();
  }
  std::uint8_t pack[dvd::kSectorSize] = {};
  std::memcpy(pack, data, size < sizeof pack ? size : sizeof pack);
  std::uint32_t start = 0, end = 0;
  dvd::ReadNavPresentationTimes(pack, sizeof pack, &start, &end);
  dvd::IsScrambledPack(pack, sizeof pack);
  const std::int64_t delta = size > 0 ? static_cast<std::int64_t>(data[0]) * 90000 - 11520000 : 0;
  dvd::ShiftPackTimestamps(pack, sizeof pack, delta);
  dvd::ShiftPackTimestamps(pack, size < sizeof pack ? size : sizeof pack, -delta);
  return 0;
}
