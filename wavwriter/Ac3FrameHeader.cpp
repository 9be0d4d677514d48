#include "wavwriter/Ac3FrameHeader.h"

#include <array>

namespace {
constexpr BYTE kSync0 = 0x0B;
constexpr BYTE kSync1 = 0x77;

// Channels per acmod 0..7: 1+1 (dual mono), 1/0, 2/0, 3/0, 2/1, 3/1, 2/2, 3/2.
constexpr std::array<WORD, 8> kChannelsByAcmod = {2, 1, 2, 3, 3, 4, 4, 5};

// Nominal bit rates in kbit/s, indexed by frmsizecod / 2.
constexpr std::array<DWORD, 19> kBitRateKbps = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                                192, 224, 256, 320, 384, 448, 512, 576, 640};
static_assert(kBitRateKbps.size() == Ac3FrameHeader::kMaxFrmsizecod / 2 + 1);

Ac3FrameHeader ReadHeaderAt(std::span<const BYTE> data, std::size_t sync) {
  Ac3FrameHeader header;
  header.fscod = static_cast<BYTE>(data[sync + 4] >> 6);
  header.frmsizecod = static_cast<BYTE>(data[sync + 4] & 0x3F);
  header.bsmod = static_cast<BYTE>(data[sync + 5] & 0x07);
  header.acmod = static_cast<BYTE>(data[sync + 6] >> 5);
  return header;
}
}  // namespace

WORD Ac3FrameHeader::ChannelCount() const { return kChannelsByAcmod[acmod & 0x07]; }

DWORD Ac3FrameHeader::BitRateKbps() const {
  if (frmsizecod > kMaxFrmsizecod) return 0;
  return kBitRateKbps[frmsizecod / 2];
}

std::optional<Ac3FrameHeaderMatch> FindAc3FrameHeader(std::span<const BYTE> data) {
  if (data.size() < Ac3FrameHeader::kHeaderBytes) return std::nullopt;
  const std::size_t lastSync = data.size() - Ac3FrameHeader::kHeaderBytes;
  for (std::size_t i = 0; i <= lastSync; ++i) {
    if (data[i] != kSync0 || data[i + 1] != kSync1) continue;
    Ac3FrameHeader header = ReadHeaderAt(data, i);
    if (header.frmsizecod > Ac3FrameHeader::kMaxFrmsizecod) continue;
    return Ac3FrameHeaderMatch{i, header};
  }
  return std::nullopt;
}
