#pragma once
// H.264 NAL units in Annex B byte-stream form.

#include <cstdint>

#include "tests/support/Bytes.h"

namespace testsupport {

// Inserts emulation_prevention_three_byte (0x03) wherever two zero bytes are followed by a byte
// of 0..3, turning an RBSP into NAL unit payload.
Bytes AddEmulationPrevention(std::span<const uint8_t> rbsp);

// Start code (4 bytes when longStartCode, else 3), NAL header, payload with emulation prevention.
Bytes NalUnit(uint8_t nal_ref_idc, uint8_t nal_unit_type, std::span<const uint8_t> rbsp, bool longStartCode = true);

// Access unit delimiter: 00 00 00 01 09 followed by primary_pic_type (3 bits) and the stop bit,
// so primary_pic_type 0 gives 0x10.
Bytes H264AccessUnitDelimiter(uint8_t primary_pic_type = 0);

}  // namespace testsupport
