#pragma once
// MPEG-2 video sequence header (start code 00 00 01 B3 and eight bytes of fields), optionally
// preceded by one zero byte as encoders sometimes write, optionally followed by the sequence
// extension that marks the stream as MPEG-2 rather than MPEG-1.

#include <cstdint>

#include "tests/support/Bytes.h"

namespace testsupport {

struct Mpeg2SequenceHeader {
  uint16_t horizontal_size_value = 720;  // 12 bits
  uint16_t vertical_size_value = 576;    // 12 bits
  uint8_t aspect_ratio_information = 2;  // 1 square, 2 4:3, 3 16:9, 4 2.21:1
  uint8_t frame_rate_code = 3;           // 3 = 25 fps, 4 = 29.97 fps
  uint32_t bit_rate_value = 15000;       // 18 bits, units of 400 bit/s
  uint16_t vbv_buffer_size_value = 112;  // 10 bits
  bool leadingZero = false;              // 00 00 00 01 B3 instead of 00 00 01 B3
  bool sequenceExtension = false;        // append a Main Profile @ Main Level sequence extension

  Bytes Build() const;
};

}  // namespace testsupport
