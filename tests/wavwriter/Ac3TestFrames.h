#pragma once
// Builders for AC3 bytes in the wavwriter tests: a frame header with chosen fields, padded out
// to a frame-like byte run.
#include <cstddef>
#include <vector>

#include "platform/com/types.h"

// The seven bytes from the sync word to acmod (crc1 = 0, bsid = 8).
inline std::vector<BYTE> MakeAc3Header(BYTE fscod, BYTE frmsizecod, BYTE bsmod, BYTE acmod) {
  return {0x0B,
          0x77,
          0x00,
          0x00,
          static_cast<BYTE>((fscod << 6) | (frmsizecod & 0x3F)),
          static_cast<BYTE>((8 << 3) | (bsmod & 0x07)),
          static_cast<BYTE>(acmod << 5)};
}

// A header followed by filler up to size bytes (the filler never contains 0x0B).
inline std::vector<BYTE> MakeAc3Frame(BYTE frmsizecod, BYTE acmod, std::size_t size) {
  std::vector<BYTE> frame = MakeAc3Header(0, frmsizecod, 0, acmod);
  while (frame.size() < size) frame.push_back(static_cast<BYTE>(0x20 + frame.size() % 64));
  return frame;
}

inline std::vector<BYTE> Concat(std::vector<BYTE> a, const std::vector<BYTE>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
