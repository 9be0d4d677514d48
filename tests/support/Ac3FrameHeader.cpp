#include "tests/support/Ac3FrameHeader.h"

#include <array>

#include "tests/support/BitWriter.h"

namespace testsupport {
namespace {

// 16-bit words per frame for each frmsizecod / 2, by sample rate (48, 44.1, 32 kHz). At 44.1 kHz
// odd frmsizecod values add one word.
constexpr std::array<uint16_t, 19> kWords48{64, 80, 96, 112, 128, 160, 192, 224, 256, 320,
                                            384, 448, 512, 640, 768, 896, 1024, 1152, 1280};
constexpr std::array<uint16_t, 19> kWords441{69, 87, 104, 121, 139, 174, 208, 243, 278, 348,
                                             417, 487, 557, 696, 835, 975, 1114, 1253, 1393};
constexpr std::array<uint16_t, 19> kWords32{96, 120, 144, 168, 192, 240, 288, 336, 384, 480,
                                            576, 672, 768, 960, 1152, 1344, 1536, 1728, 1920};

}  // namespace

size_t Ac3FrameHeader::FrameBytes() const {
  const size_t row = frmsizecod / 2;
  if (row >= kWords48.size()) return 0;
  switch (fscod) {
    case 0: return 2u * kWords48[row];
    case 1: return 2u * (kWords441[row] + (frmsizecod & 1));
    case 2: return 2u * kWords32[row];
    default: return 0;
  }
}

Bytes Ac3FrameHeader::Build() const {
  BitWriter bits;
  bits.U(16, 0x0B77).U(16, 0 /* crc1 */).U(2, fscod).U(6, frmsizecod);
  bits.U(5, bsid).U(3, bsmod).U(3, acmod);
  if ((acmod & 1) && acmod != 1) bits.U(2, 0 /* cmixlev */);
  if (acmod & 4) bits.U(2, 0 /* surmixlev */);
  if (acmod == 2) bits.U(2, 0 /* dsurmod */);
  bits.Flag(lfeon).U(5, dialnorm).Flag(false /* compre */).Flag(false /* langcode */).Flag(false /* audprodie */);
  bits.AlignZero();
  return bits.Data();
}

Bytes Ac3FrameHeader::Frame() const {
  Bytes frame = Build();
  if (frame.size() < FrameBytes()) frame.resize(FrameBytes(), 0x00);
  return frame;
}

}  // namespace testsupport
