#include "outside/elementary/MpegAudioHeader.h"

namespace outside {
namespace {

// kbit/s by [table][bitrate_index - 1]: MPEG-1 layers I, II, III, then MPEG-2 layer I, II/III.
constexpr std::uint16_t kBitrates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
constexpr std::uint32_t kMpeg1Rates[3] = {44100, 48000, 32000};

}  // namespace

bool ParseMpegAudioHeader(const std::uint8_t* p, std::size_t size, MpegAudioHeader& header) {
  if (!p || size < kMpegAudioHeaderBytes) return false;
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (p[1] >> 3) & 3;
  const int layerBits = (p[1] >> 1) & 3;
  const int bitrateIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  const int padding = (p[2] >> 1) & 1;
  if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
    return false;
  }
  const int version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
  const int layer = 4 - layerBits;
  const int table = version == 1 ? layer - 1 : (layer == 1 ? 3 : 4);
  const std::uint32_t kbps = kBitrates[table][bitrateIndex - 1];
  const std::uint32_t rate = kMpeg1Rates[rateIndex] / (version == 1 ? 1 : version == 2 ? 2 : 4);

  std::uint32_t bytes = 0;
  std::uint32_t samples = 0;
  if (layer == 1) {
    bytes = (12 * kbps * 1000 / rate + padding) * 4;
    samples = 384;
  } else if (layer == 2 || version == 1) {
    bytes = 144 * kbps * 1000 / rate + padding;
    samples = 1152;
  } else {
    bytes = 72 * kbps * 1000 / rate + padding;
    samples = 576;
  }
  header.version = version;
  header.layer = layer;
  header.info.frameBytes = bytes;
  header.info.samples = samples;
  header.info.sampleRate = rate;
  header.info.channels = (p[3] >> 6) == 3 ? 1 : 2;
  return true;
}

}  // namespace outside
