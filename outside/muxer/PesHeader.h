#pragma once
// Writing MPEG-2 PES packet headers and 33-bit time stamps.
#include <cstddef>
#include <cstdint>

#include "outside/muxer/StreamKind.h"

namespace outside {

// The fixed part: start code, stream id, PES_packet_length, two flag bytes, header data length.
inline constexpr std::size_t kPesFixedBytes = 9;

// Bytes of optional header data for these times: 0, 5 (PTS) or 10 (PTS and DTS). DTS is written
// only when it differs from PTS.
std::size_t PesTimeBytes(std::int64_t pts, std::int64_t dts);

// Writes a PES header with the given times (kNoTime: none) and stuffing bytes; returns its size
// (kPesFixedBytes + PesTimeBytes + stuffing). packetLength is PES_packet_length (0: unbounded).
std::size_t WritePesHeader(std::uint8_t* out, std::uint8_t streamId, std::size_t packetLength, bool aligned,
                           std::int64_t pts, std::int64_t dts, std::size_t stuffing);

// A 33-bit time stamp in the 5-byte PES form with a 4-bit prefix ('0010', '0011' or '0001').
void WritePesTimestamp(std::uint8_t* out, unsigned prefix, std::int64_t time);

inline constexpr std::int64_t kTimestampMask = (std::int64_t{1} << 33) - 1;

}  // namespace outside
