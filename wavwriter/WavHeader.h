#pragma once
// The RIFF/WAVE header that Ambrel writes in front of the audio bytes. Layout (little-endian,
// F = size of the input format block):
//
//   0       "RIFF", then headerBytes + dataBytes - 8
//   8       "WAVE"
//   12      "fmt ", then F
//   20      the format block (a WAVEFORMATEX and its extra bytes), corrected from the first AC3
//           frame header when one was seen
//   20 + F  "data", then dataBytes
//   28 + F  the audio bytes
//
// No pad byte follows an odd-sized format block and no other chunk is written: readers of these
// files expect the audio exactly at headerBytes.
#include <cstdint>
#include <span>

#include "platform/com/hresult.h"
#include "wavwriter/Ac3FrameHeader.h"

class WavHeader {
 public:
  // Bytes in front of the format block ("RIFF", size, "WAVE", "fmt ", size) and behind it
  // ("data", size).
  static constexpr std::uint32_t kFixedBytes = 28;
  // The largest format block whose header size still fits in 32 bits.
  static constexpr std::uint32_t kMaxFormatBytes = UINT32_MAX - kFixedBytes;

  // Writes the header for format and dataBytes of audio into out, which must be exactly
  // format.size() + kFixedBytes long. The format block is corrected from firstFrame when its
  // frmsizecod is non-zero: wFormatTag 0x2000 (AC3), nChannels from acmod and nAvgBytesPerSec
  // from the bit rate; a correction whose field lies beyond a short format block is left out.
  // E_INVALIDARG when out has the wrong size or the file would pass 4 GiB.
  static HRESULT Build(std::span<const BYTE> format, std::uint32_t dataBytes, const Ac3FrameHeader& firstFrame,
                       std::span<BYTE> out);
};
