#pragma once
// AAC ADTS frame header (sync 0xFFF, layer 0). Parse needs 7 bytes.
#include "outside/elementary/AudioFrameInfo.h"

namespace outside {

inline constexpr std::size_t kAdtsHeaderBytes = 7;

// Returns false for anything but a valid header whose frame length covers the header itself.
bool ParseAdtsHeader(const std::uint8_t* data, std::size_t size, AudioFrameInfo& info);

}  // namespace outside
