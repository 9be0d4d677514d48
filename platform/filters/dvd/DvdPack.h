#pragma once
// What the DVD source reads from, and changes in, one 2048-byte pack of a VOB: the presentation
// times of a NAV pack, whether a pack's packets are scrambled, and a shift of every time stamp of
// a pack (its SCR and the PTS/DTS of its elementary packets) so that cells whose clocks restart
// are delivered as one continuous stream.
#include <cstddef>
#include <cstdint>

namespace dvd {

// VOBU_S_PTM and VOBU_E_PTM of a NAV pack's PCI; false when the sector is no NAV pack.
bool ReadNavPresentationTimes(const std::uint8_t* pack, std::size_t size, std::uint32_t* start, std::uint32_t* end);

// True when an elementary packet of the pack has its scrambling bits set (an encrypted disc).
bool IsScrambledPack(const std::uint8_t* pack, std::size_t size);

// Adds delta (90 kHz, taken modulo 2^33) to the pack's SCR and to every PTS and DTS in it.
// Bytes that do not parse are left as they are.
void ShiftPackTimestamps(std::uint8_t* pack, std::size_t size, std::int64_t delta);

}  // namespace dvd
