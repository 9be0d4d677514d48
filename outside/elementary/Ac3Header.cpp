#include "outside/elementary/Ac3Header.h"

namespace outside {
namespace {

constexpr std::uint32_t kBitratesKbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                             192, 224, 256, 320, 384, 448, 512, 576, 640};
constexpr std::uint32_t kSampleRates[3] = {48000, 44100, 32000};
// Full-bandwidth channels for each audio coding mode.
constexpr std::uint32_t kAcmodChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};

// 16-bit words of a frame for a frame size code; 44.1 kHz frames alternate by one word.
std::uint32_t Ac3FrameWords(std::uint32_t fscod, std::uint32_t frmsizecod) {
  const std::uint32_t kbps = kBitratesKbps[frmsizecod / 2];
  switch (fscod) {
    case 0: return kbps * 2;
    case 1: return kbps * 1536 * 1000 / (44100 * 16) + (frmsizecod & 1);
    default: return kbps * 3;
  }
}

// The LFE flag follows acmod after 0 to 3 two-bit fields whose presence depends on acmod.
bool Ac3HasLfe(std::uint8_t byte6, std::uint8_t byte7, std::uint32_t acmod) {
  int pos = 3;                              // bits of byte 6 taken by acmod
  if ((acmod & 1) && acmod != 1) pos += 2;  // cmixlev
  if (acmod & 4) pos += 2;                  // surmixlev
  if (acmod == 2) pos += 2;                 // dsurmod
  const unsigned both = (static_cast<unsigned>(byte6) << 8) | byte7;
  return (both >> (15 - pos)) & 1;
}

}  // namespace

bool ParseAc3Header(const std::uint8_t* p, std::size_t size, AudioFrameInfo& info) {
  if (!p || size < kAc3HeaderBytes || p[0] != 0x0B || p[1] != 0x77) return false;
  const std::uint32_t bsid = p[5] >> 3;
  if (bsid <= 10) {
    const std::uint32_t fscod = p[4] >> 6;
    const std::uint32_t frmsizecod = p[4] & 0x3F;
    if (fscod == 3 || frmsizecod >= 38) return false;
    const std::uint32_t acmod = p[6] >> 5;
    const std::uint8_t byte7 = size > 7 ? p[7] : 0;
    info.frameBytes = Ac3FrameWords(fscod, frmsizecod) * 2;
    info.samples = 1536;
    info.sampleRate = kSampleRates[fscod];
    info.channels = kAcmodChannels[acmod] + (Ac3HasLfe(p[6], byte7, acmod) ? 1 : 0);
    return true;
  }
  if (bsid > 16) return false;
  // E-AC3: strmtyp(2) substreamid(3) frmsiz(11), fscod(2) fscod2/numblkscod(2) acmod(3) lfeon(1).
  const std::uint32_t frmsiz = ((p[2] & 0x07u) << 8) | p[3];
  const std::uint32_t fscod = p[4] >> 6;
  const std::uint32_t code2 = (p[4] >> 4) & 3;
  const std::uint32_t acmod = (p[4] >> 1) & 7;
  const std::uint32_t lfe = p[4] & 1;
  static constexpr std::uint32_t kBlocks[4] = {1, 2, 3, 6};
  std::uint32_t rate = 0;
  std::uint32_t blocks = 6;
  if (fscod == 3) {
    if (code2 == 3) return false;
    rate = kSampleRates[code2] / 2;
  } else {
    rate = kSampleRates[fscod];
    blocks = kBlocks[code2];
  }
  info.frameBytes = (frmsiz + 1) * 2;
  info.samples = blocks * 256;
  info.sampleRate = rate;
  info.channels = kAcmodChannels[acmod] + lfe;
  return true;
}

}  // namespace outside
