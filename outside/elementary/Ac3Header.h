#pragma once
// AC3 and E-AC3 sync frame header (sync word 0x0B77). Parse needs kAc3HeaderBytes bytes.
#include "outside/elementary/AudioFrameInfo.h"

namespace outside {

inline constexpr std::size_t kAc3HeaderBytes = 7;
inline constexpr std::uint32_t kAc3MaxFrameBytes = 4096;

// Returns false when the bytes are not a valid header (no sync word, reserved sample rate or
// frame size code, unknown bitstream id); info is then left unchanged.
bool ParseAc3Header(const std::uint8_t* data, std::size_t size, AudioFrameInfo& info);

}  // namespace outside
