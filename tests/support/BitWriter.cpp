#include "tests/support/BitWriter.h"

namespace testsupport {

void BitWriter::PutBit(unsigned bit) {
  if (m_bitCount % 8 == 0) m_bytes.push_back(0);
  if (bit) m_bytes.back() |= static_cast<uint8_t>(0x80u >> (m_bitCount % 8));
  ++m_bitCount;
}

BitWriter& BitWriter::U(unsigned bits, uint32_t value) {
  for (unsigned i = bits; i > 0; --i) PutBit(static_cast<unsigned>((static_cast<uint64_t>(value) >> (i - 1)) & 1u));
  return *this;
}

BitWriter& BitWriter::Ue(uint32_t value) {
  const uint64_t codeNum = static_cast<uint64_t>(value) + 1;
  unsigned length = 0;
  while ((codeNum >> (length + 1)) != 0) ++length;
  for (unsigned i = 0; i < length; ++i) PutBit(0);
  for (unsigned i = length + 1; i > 0; --i) PutBit(static_cast<unsigned>((codeNum >> (i - 1)) & 1u));
  return *this;
}

BitWriter& BitWriter::Se(int32_t value) {
  const int64_t v = value;
  return Ue(static_cast<uint32_t>(v > 0 ? 2 * v - 1 : -2 * v));
}

BitWriter& BitWriter::TrailingBits() {
  PutBit(1);
  return AlignZero();
}

BitWriter& BitWriter::AlignZero() {
  while (m_bitCount % 8 != 0) PutBit(0);
  return *this;
}

}  // namespace testsupport
