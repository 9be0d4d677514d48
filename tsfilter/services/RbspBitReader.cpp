#include "tsfilter/services/RbspBitReader.h"

namespace tsfilter {

RbspBitReader::RbspBitReader(const std::uint8_t* data, std::size_t length) {
  unsigned zeros = 0;
  for (std::size_t i = 0; i < length && m_size < kCapacity; ++i) {
    if (zeros >= 2 && data[i] == 0x03) {
      zeros = 0;  // emulation prevention: the 03 is not part of the payload
      continue;
    }
    zeros = data[i] == 0 ? zeros + 1 : 0;
    m_bytes[m_size++] = data[i];
  }
}

unsigned RbspBitReader::ReadBit() {
  const std::size_t byte = m_bit / 8;
  const unsigned bit = byte < m_size ? (m_bytes[byte] >> (7 - m_bit % 8)) & 1u : 0u;
  ++m_bit;
  return bit;
}

std::uint32_t RbspBitReader::ReadBits(unsigned count) {
  std::uint32_t value = 0;
  for (unsigned i = 0; i < count && i < 32; ++i) value = (value << 1) | ReadBit();
  return value;
}

std::uint32_t RbspBitReader::ReadUe() {
  unsigned zeros = 0;
  while (ReadBit() == 0) {
    if (++zeros > 31) return 0;
  }
  return ((1u << zeros) - 1u) + ReadBits(zeros);
}

std::int32_t RbspBitReader::ReadSe() {
  const std::uint32_t code = ReadUe();
  const auto magnitude = static_cast<std::int32_t>((code + 1) / 2);  // at most 2^31 - 1
  return (code & 1u) ? magnitude : -magnitude;
}

}  // namespace tsfilter
