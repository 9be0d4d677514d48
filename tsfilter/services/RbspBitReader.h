#pragma once
// Reads the payload of one H.264 NAL unit (ITU-T H.264, 7.3 and 9.1) most significant bit first,
// with emulation-prevention bytes (the 03 of 00 00 03) removed. The payload is held in a fixed
// buffer of one packet's size; bits past its end read as zero.
#include <cstddef>
#include <cstdint>

namespace tsfilter {

class RbspBitReader {
 public:
  static constexpr std::size_t kCapacity = 188;

  // Takes the escaped bytes [data, data + length); at most kCapacity unescaped bytes are kept.
  RbspBitReader(const std::uint8_t* data, std::size_t length);

  // Byte `index` of the unescaped payload (0 past the end); does not move the bit position.
  std::uint8_t ByteAt(std::size_t index) const { return index < m_size ? m_bytes[index] : 0; }
  std::size_t Size() const { return m_size; }

  // Moves the bit position to the start of unescaped byte `index`.
  void SeekToByte(std::size_t index) { m_bit = index * 8; }
  // u(n), n <= 32.
  std::uint32_t ReadBits(unsigned count);
  // ue(v): 2^n - 1 + the n bits after n leading zeros. More than 31 leading zeros (only possible
  // past the end of the data or in damaged data) give 0.
  std::uint32_t ReadUe();
  // se(v), mapped from ue(v).
  std::int32_t ReadSe();
  bool IsExhausted() const { return m_bit >= m_size * 8; }

 private:
  unsigned ReadBit();

  std::uint8_t m_bytes[kCapacity] = {};
  std::size_t m_size = 0;
  std::size_t m_bit = 0;
};

}  // namespace tsfilter
