#pragma once
// CRC-32/MPEG-2 of PSI sections: polynomial 0x04C11DB7, initial value 0xFFFFFFFF, no reflection,
// no final XOR. A section is intact when the CRC over all its bytes, the four CRC bytes included,
// is 0.
#include <cstddef>
#include <cstdint>

namespace tsfilter {

std::uint32_t Crc32Mpeg2(const std::uint8_t* data, std::size_t length);

}  // namespace tsfilter
