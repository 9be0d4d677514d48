#pragma once
// AC-3 syncinfo and the start of the bit stream information: sync word 0x0B77, crc1 (left 0),
// fscod, frmsizecod, bsid, bsmod, acmod and the mix levels acmod needs, lfeon, dialnorm.
// Frame() pads the header with zero bytes to the frame size that fscod and frmsizecod give.

#include <cstdint>

#include "tests/support/Bytes.h"

namespace testsupport {

struct Ac3FrameHeader {
  uint8_t fscod = 0;        // 0 48 kHz, 1 44.1 kHz, 2 32 kHz
  uint8_t frmsizecod = 28;  // 28 = 384 kbit/s (1536 bytes at 48 kHz)
  uint8_t bsid = 8;
  uint8_t bsmod = 0;
  uint8_t acmod = 2;  // 2 = L R, 7 = L C R SL SR
  bool lfeon = false;
  uint8_t dialnorm = 27;

  Bytes Build() const;
  // Frame length in bytes, 0 for a reserved fscod or frmsizecod.
  size_t FrameBytes() const;
  // A whole frame: header then zero bytes (at least the header when the size is unknown).
  Bytes Frame() const;
};

}  // namespace testsupport
