#pragma once
// Extends 33-bit 90 kHz time stamps to 64 bits so that times keep increasing across the wrap at
// 2^33 (about 26.5 hours). One unwrapper serves all streams of one multiplex: they share a clock,
// and values that arrive slightly out of order (B-pictures, audio ahead of video) stay within
// half the range of the last value, so a value just before the wrap that arrives after one just
// past it is placed before the wrap, not 26 hours later.
#include <cstdint>

class TimestampUnwrapper {
 public:
  static constexpr std::int64_t kWrap = std::int64_t{1} << 33;

  // Returns raw (taken modulo 2^33) placed nearest to the previous value.
  std::int64_t Unwrap(std::uint64_t raw);
  // Forgets the previous value: the next one is taken as it is (after a seek or a flush).
  void Reset() { m_hasLast = false; }

 private:
  bool m_hasLast = false;
  std::int64_t m_last = 0;
};
