#pragma once
// CRC-32 of MPEG-2 sections: polynomial 0x04C11DB7, initial value 0xFFFFFFFF, no reflection.
#include <cstddef>
#include <cstdint>

namespace outside {

std::uint32_t Crc32Mpeg(const std::uint8_t* data, std::size_t size);

}  // namespace outside
