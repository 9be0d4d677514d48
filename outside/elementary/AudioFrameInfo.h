#pragma once
// What an audio frame header tells: how long the frame is in bytes and in time.
#include <cstddef>
#include <cstdint>

namespace outside {

struct AudioFrameInfo {
  std::uint32_t frameBytes = 0;   // whole frame, header included
  std::uint32_t samples = 0;      // samples per channel the frame decodes to
  std::uint32_t sampleRate = 0;   // Hz
  std::uint32_t channels = 0;
};

}  // namespace outside
