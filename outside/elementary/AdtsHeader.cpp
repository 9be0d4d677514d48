#include "outside/elementary/AdtsHeader.h"

namespace outside {
namespace {
constexpr std::uint32_t kRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                      22050, 16000, 12000, 11025, 8000,  7350};
}

bool ParseAdtsHeader(const std::uint8_t* p, std::size_t size, AudioFrameInfo& info) {
  if (!p || size < kAdtsHeaderBytes) return false;
  if (p[0] != 0xFF || (p[1] & 0xF6) != 0xF0) return false;  // sync and layer 00
  const std::uint32_t rateIndex = (p[2] >> 2) & 0x0F;
  if (rateIndex >= 13) return false;
  const std::uint32_t headerBytes = (p[1] & 1) ? 7 : 9;  // protection_absent
  const std::uint32_t length = ((p[3] & 3u) << 11) | (static_cast<std::uint32_t>(p[4]) << 3) | (p[5] >> 5);
  if (length < headerBytes) return false;
  const std::uint32_t channelConfig = ((p[2] & 1u) << 2) | (p[3] >> 6);
  info.frameBytes = length;
  info.samples = 1024 * ((p[6] & 3u) + 1);
  info.sampleRate = kRates[rateIndex];
  info.channels = channelConfig == 7 ? 8 : channelConfig;
  return true;
}

}  // namespace outside
