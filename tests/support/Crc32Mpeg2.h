#pragma once
// CRC-32/MPEG-2: polynomial 0x04C11DB7, initial value 0xFFFFFFFF, no reflection, no final XOR.
// Run over a whole PSI section including its four CRC bytes it yields 0.

#include <cstdint>
#include <span>

namespace testsupport {

uint32_t Crc32Mpeg2(std::span<const uint8_t> data);

}  // namespace testsupport
