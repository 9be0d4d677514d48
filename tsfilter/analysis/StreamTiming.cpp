#include "tsfilter/analysis/StreamTiming.h"

#include <cmath>
#include <limits>

#include "tsfilter/analysis/TsPacket.h"

namespace tsfilter {

std::uint64_t ReadPts(const std::uint8_t* packet) {
  const std::size_t pes = PesStartOffset(packet);
  if (!HasStartCodeAt(packet, pes) || pes + 14 > kPacketSize) return 0;
  const std::uint8_t* p = packet + pes;
  if (p[8] == 0) return 0;
  return (std::uint64_t{p[9] & 0x0Eu} << 29) | (std::uint64_t{p[10]} << 22) | (std::uint64_t{p[11] & 0xFEu} << 14) |
         (std::uint64_t{p[12]} << 7) | (std::uint64_t{p[13]} >> 1);
}

std::uint64_t StreamTimeOf(std::uint64_t pts, std::uint64_t firstPts) {
  const std::uint64_t difference = (pts - firstPts) & (kPtsModulus - 1);
  return difference >= kPtsModulus / 2 ? 0 : difference;
}

std::int64_t MeasuredDuration(std::uint64_t streamTime, std::uint64_t firstPts, std::uint64_t lastPts) {
  if (firstPts > lastPts) streamTime = lastPts - firstPts + kWrapAddend;
  return static_cast<std::int64_t>(streamTime * 10000 / 90);
}

std::int64_t EstimateDuration(std::uint64_t fileSize) {
  return static_cast<std::int64_t>(fileSize / kAssumedBytesPerSecond) * 1000 * 10000;
}

std::int32_t StreamTimeMilliseconds(std::uint64_t streamTime) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(streamTime / 90));
}

std::int64_t TruncateToTime(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exactly representable; anything at or beyond it saturates.
  constexpr double kLimit = 9223372036854775808.0;
  if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (value <= -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

std::int64_t SampleStartTime(std::uint64_t streamTime, double rate) {
  const double r = 1.0 / rate;
  const std::int64_t start = std::int64_t{StreamTimeMilliseconds(streamTime)} * 10000;
  return TruncateToTime(static_cast<double>(start) * r);
}

std::int64_t SampleStopTime(std::int64_t stop, double rate) {
  return TruncateToTime(static_cast<double>(stop) * (1.0 / rate));
}

}  // namespace tsfilter
