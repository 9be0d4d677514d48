#pragma once
// Writes bit fields most significant bit first, with the Exp-Golomb codes of video syntax.

#include <cstdint>

#include "tests/support/Bytes.h"

namespace testsupport {

class BitWriter {
 public:
  // Writes the low `bits` bits of value (bits 0..32).
  BitWriter& U(unsigned bits, uint32_t value);
  BitWriter& Flag(bool value) { return U(1, value ? 1 : 0); }
  // Unsigned Exp-Golomb: n zero bits, a one, n bits of (value + 1 - 2^n).
  BitWriter& Ue(uint32_t value);
  // Signed Exp-Golomb: k > 0 maps to 2k - 1, k <= 0 to -2k.
  BitWriter& Se(int32_t value);
  // rbsp_trailing_bits: a one bit, then zeros up to the next byte boundary.
  BitWriter& TrailingBits();
  // Zero bits up to the next byte boundary.
  BitWriter& AlignZero();

  size_t BitCount() const { return m_bitCount; }
  bool IsAligned() const { return m_bitCount % 8 == 0; }
  // The bytes written so far; a partial last byte is padded with zero bits.
  const Bytes& Data() const { return m_bytes; }

 private:
  void PutBit(unsigned bit);

  Bytes m_bytes;
  size_t m_bitCount = 0;
};

}  // namespace testsupport
