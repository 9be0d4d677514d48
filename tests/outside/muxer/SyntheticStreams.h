#pragma once
// Test helper: small elementary streams with valid framing and known unit boundaries and times.
#include <cstdint>
#include <vector>

namespace muxtest {

struct SyntheticUnit {
  std::size_t offset = 0;
  std::size_t size = 0;
  std::int64_t pts = 0;  // 90 kHz
  std::int64_t dts = 0;
};

struct SyntheticStream {
  std::vector<std::uint8_t> bytes;
  std::vector<SyntheticUnit> units;
};

inline void AppendFiller(std::vector<std::uint8_t>& out, std::size_t n) { out.insert(out.end(), n, 0x55); }

// MPEG-2 video at 25 fps in decode order I P B B P B B ..., a sequence and GOP header before each
// I picture; pictures of the given sizes (cycled). Decode times start at firstDts.
inline SyntheticStream MakeMpeg2Video(int pictures, const std::vector<std::size_t>& sizes, std::int64_t firstDts) {
  SyntheticStream s;
  for (int i = 0; i < pictures; ++i) {
    SyntheticUnit unit;
    unit.offset = s.bytes.size();
    unit.dts = firstDts + i * 3600;
    const int inGop = i % 12;
    // P pictures are shown after the two B pictures that follow them in decode order.
    const bool bPicture = inGop != 0 && (inGop % 3) != 1;
    unit.pts = bPicture ? unit.dts - 3600 : unit.dts + 2 * 3600;
    if (inGop == 0) {
      const std::uint8_t sequence[] = {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x13, 0xFF, 0xFF, 0xE0, 0x18};
      const std::uint8_t gop[] = {0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x40};
      s.bytes.insert(s.bytes.end(), std::begin(sequence), std::end(sequence));
      s.bytes.insert(s.bytes.end(), std::begin(gop), std::end(gop));
    }
    const std::uint8_t picture[] = {0, 0, 1, 0x00, 0x00, 0x0F, 0xFF, 0xF8, 0, 0, 1, 0x01};
    s.bytes.insert(s.bytes.end(), std::begin(picture), std::end(picture));
    const std::size_t target = sizes[static_cast<std::size_t>(i) % sizes.size()];
    const std::size_t have = s.bytes.size() - unit.offset;
    AppendFiller(s.bytes, target > have ? target - have : 1);
    unit.size = s.bytes.size() - unit.offset;
    s.units.push_back(unit);
  }
  return s;
}

// AC3 at 48 kHz, 192 kbit/s stereo: 768-byte frames of 1536 samples (2880 ticks).
inline SyntheticStream MakeAc3(int frames, std::int64_t firstPts) {
  SyntheticStream s;
  for (int i = 0; i < frames; ++i) {
    SyntheticUnit unit{s.bytes.size(), 768, firstPts + i * 2880, firstPts + i * 2880};
    const std::uint8_t header[] = {0x0B, 0x77, 0x12, 0x34, 20, 8 << 3, 2 << 5, 0x00};
    s.bytes.insert(s.bytes.end(), std::begin(header), std::end(header));
    AppendFiller(s.bytes, 768 - sizeof(header));
    s.units.push_back(unit);
  }
  return s;
}

// MPEG-1 layer II at the given rate (48000 or 44100), 128 kbit/s: 1152 samples per frame.
inline SyntheticStream MakeMp2(int frames, int rate, std::int64_t firstPts) {
  SyntheticStream s;
  const std::uint8_t rateIndex = rate == 44100 ? 0 : 1;
  const std::size_t size = 144 * 128000 / static_cast<std::size_t>(rate);
  for (int i = 0; i < frames; ++i) {
    SyntheticUnit unit{s.bytes.size(), size, firstPts + i * 1152LL * 90000 / rate, 0};
    unit.dts = unit.pts;
    const std::uint8_t header[] = {0xFF, 0xFD, static_cast<std::uint8_t>(0x80 | (rateIndex << 2)), 0x44};
    s.bytes.insert(s.bytes.end(), std::begin(header), std::end(header));
    AppendFiller(s.bytes, size - sizeof(header));
    s.units.push_back(unit);
  }
  return s;
}

}  // namespace muxtest
