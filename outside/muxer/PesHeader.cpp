#include "outside/muxer/PesHeader.h"

namespace outside {

std::size_t PesTimeBytes(std::int64_t pts, std::int64_t dts) {
  if (pts == kNoTime) return 0;
  return (dts != kNoTime && dts != pts) ? 10 : 5;
}

void WritePesTimestamp(std::uint8_t* out, unsigned prefix, std::int64_t time) {
  const auto t = static_cast<std::uint64_t>(time & kTimestampMask);
  out[0] = static_cast<std::uint8_t>((prefix << 4) | ((t >> 29) & 0x0E) | 1);
  out[1] = static_cast<std::uint8_t>(t >> 22);
  out[2] = static_cast<std::uint8_t>(((t >> 14) & 0xFE) | 1);
  out[3] = static_cast<std::uint8_t>(t >> 7);
  out[4] = static_cast<std::uint8_t>(((t << 1) & 0xFE) | 1);
}

std::size_t WritePesHeader(std::uint8_t* out, std::uint8_t streamId, std::size_t packetLength, bool aligned,
                           std::int64_t pts, std::int64_t dts, std::size_t stuffing) {
  const std::size_t timeBytes = PesTimeBytes(pts, dts);
  out[0] = 0;
  out[1] = 0;
  out[2] = 1;
  out[3] = streamId;
  out[4] = static_cast<std::uint8_t>(packetLength >> 8);
  out[5] = static_cast<std::uint8_t>(packetLength);
  out[6] = static_cast<std::uint8_t>(0x81 | (aligned ? 0x04 : 0));  // '10', original
  out[7] = static_cast<std::uint8_t>(timeBytes == 10 ? 0xC0 : timeBytes == 5 ? 0x80 : 0);
  out[8] = static_cast<std::uint8_t>(timeBytes + stuffing);
  std::uint8_t* p = out + kPesFixedBytes;
  if (timeBytes == 5) {
    WritePesTimestamp(p, 0x2, pts);
  } else if (timeBytes == 10) {
    WritePesTimestamp(p, 0x3, pts);
    WritePesTimestamp(p + 5, 0x1, dts);
  }
  p += timeBytes;
  for (std::size_t i = 0; i < stuffing; ++i) *p++ = 0xFF;
  return kPesFixedBytes + timeBytes + stuffing;
}

}  // namespace outside
