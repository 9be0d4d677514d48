#pragma once
// MPEG-1/2/2.5 audio frame header, layers I to III (sync 0xFFE). Parse needs 4 bytes.
#include "outside/elementary/AudioFrameInfo.h"

namespace outside {

inline constexpr std::size_t kMpegAudioHeaderBytes = 4;

struct MpegAudioHeader {
  AudioFrameInfo info;
  int version = 0;  // 1 = MPEG-1, 2 = MPEG-2 (half rates), 25 = MPEG-2.5
  int layer = 0;    // 1..3
};

// Returns false for anything but a valid header with a known bit rate (free format is refused).
bool ParseMpegAudioHeader(const std::uint8_t* data, std::size_t size, MpegAudioHeader& header);

}  // namespace outside
