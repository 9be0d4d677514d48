#include "tests/support/H264Nal.h"

namespace testsupport {

Bytes AddEmulationPrevention(std::span<const uint8_t> rbsp) {
  Bytes out;
  out.reserve(rbsp.size() + rbsp.size() / 64 + 1);
  int zeros = 0;
  for (uint8_t byte : rbsp) {
    if (zeros >= 2 && byte <= 0x03) {
      out.push_back(0x03);
      zeros = 0;
    }
    out.push_back(byte);
    zeros = byte == 0 ? zeros + 1 : 0;
  }
  return out;
}

Bytes NalUnit(uint8_t nal_ref_idc, uint8_t nal_unit_type, std::span<const uint8_t> rbsp, bool longStartCode) {
  Bytes out = longStartCode ? Bytes{0, 0, 0, 1} : Bytes{0, 0, 1};
  out.push_back(static_cast<uint8_t>(((nal_ref_idc & 3) << 5) | (nal_unit_type & 0x1F)));
  Append(out, AddEmulationPrevention(rbsp));
  return out;
}

Bytes H264AccessUnitDelimiter(uint8_t primary_pic_type) {
  const uint8_t rbsp = static_cast<uint8_t>(((primary_pic_type & 7) << 5) | 0x10);
  return NalUnit(0, 9, Bytes{rbsp});
}

}  // namespace testsupport
