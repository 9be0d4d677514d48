#pragma once
// Times derived from the video PTS: 90 kHz ticks inside the analysis, 100 ns at the media
// interfaces, milliseconds in between. The program clock reference is never read.
#include <cstdint>

namespace tsfilter {

inline constexpr std::uint64_t kPtsModulus = 1ull << 33;
inline constexpr std::uint64_t kWrapAddend = 0x1FFFFFFFFull;  // 2^33 - 1: the end scan's wrap correction
inline constexpr std::uint64_t kAssumedBytesPerSecond = 2401587;  // about 19.2 Mbit/s

// The PTS of a packet that starts a PES packet with a header carrying one; 0 when none. A PTS of
// exactly 0 counts as none. The PTS_DTS_flags are not examined.
std::uint64_t ReadPts(const std::uint8_t* packet);

// Stream time of `pts` against time zero `firstPts`: the difference modulo 2^33 read as a signed
// 33-bit number, so a wrap of the clock gives the right small value and a PTS behind time zero
// (B-frame reordering) gives 0 rather than a huge number.
std::uint64_t StreamTimeOf(std::uint64_t pts, std::uint64_t firstPts);

// The duration the end scan reports (100 ns) from time zero and the last PTS seen there, for a
// non-zero stream time: a last PTS below the first one means the clock wrapped, corrected by
// 2^33 - 1.
std::int64_t MeasuredDuration(std::uint64_t streamTime, std::uint64_t firstPts, std::uint64_t lastPts);

// The duration estimated from the file size (100 ns), whole seconds at 2,401,587 bytes per second.
std::int64_t EstimateDuration(std::uint64_t fileSize);

// Milliseconds of a 90 kHz stream time, kept as a signed 32-bit number.
std::int32_t StreamTimeMilliseconds(std::uint64_t streamTime);

// Sample start time (100 ns) for a stream time at the given rate.
std::int64_t SampleStartTime(std::uint64_t streamTime, double rate);
// Sample stop time (100 ns): the seeking stop divided by the rate.
std::int64_t SampleStopTime(std::int64_t stop, double rate);

// A double turned into 100-ns units: truncated, clamped to the 64-bit range, NaN as 0.
std::int64_t TruncateToTime(double value);

}  // namespace tsfilter
