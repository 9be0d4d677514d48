#pragma once
// Finding MPEG start-code prefixes (00 00 01) in elementary-stream bytes, eight positions per
// step: a word of zero-byte tests for each of the three bytes, and-ed. In video, 0x01 and 0x00
// bytes are common enough that searching for the 0x01 alone stops every few dozen bytes.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace startcode {

// High bit of each byte of x that is zero, exactly (no carry crosses a byte).
constexpr std::uint64_t ZeroBytes(std::uint64_t x) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// First position p in [from, limit) where 00 00 01 starts, or `limit`. Reads up to
// data[limit + 1], so limit + 2 must not exceed the data's size.
inline std::size_t FindPrefix(const std::uint8_t* data, std::size_t from, std::size_t limit) {
  std::size_t p = from;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    auto load = [data](std::size_t at) {
      std::uint64_t word;
      std::memcpy(&word, data + at, sizeof word);
      return word;
    };
    for (; p + 8 <= limit; p += 8) {
      const std::uint64_t hits = ZeroBytes(load(p)) & ZeroBytes(load(p + 1)) & ZeroBytes(load(p + 2) ^ kOnes);
      if (hits) return p + static_cast<std::size_t>(std::countr_zero(hits)) / 8;
    }
  }
  for (; p < limit; ++p) {
    if (data[p] == 0 && data[p + 1] == 0 && data[p + 2] == 1) return p;
  }
  return limit;
}

}  // namespace startcode
