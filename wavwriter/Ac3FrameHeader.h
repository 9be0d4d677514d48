#pragma once
// The fields of an AC3 frame header that the WAV format block is corrected from, and the search
// for the first frame header in a buffer of audio bytes.
//
// An AC3 frame starts with the sync word 0x0B 0x77, followed by crc1 (2 bytes), then
// fscod (2 bits) and frmsizecod (6 bits) in byte 4, bsid (5 bits) and bsmod (3 bits) in byte 5,
// and acmod in the top three bits of byte 6.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/com/types.h"

struct Ac3FrameHeader {
  BYTE fscod = 0;       // sample-rate code
  BYTE frmsizecod = 0;  // frame-size code; 0 also stands for "no frame header seen yet"
  BYTE bsmod = 0;       // bit-stream mode
  BYTE acmod = 0;       // audio coding mode (channel layout)

  // Bytes from the sync word up to and including acmod.
  static constexpr std::size_t kHeaderBytes = 7;
  // frmsizecod runs from 0 to 37; the six-bit field can hold larger, invalid codes.
  static constexpr BYTE kMaxFrmsizecod = 37;

  // Full-bandwidth channels of acmod (the low-frequency channel is not counted).
  WORD ChannelCount() const;
  // Nominal bit rate of frmsizecod in kbit/s; 0 for an invalid code.
  DWORD BitRateKbps() const;
};

// Where a frame header was found and what it says.
struct Ac3FrameHeaderMatch {
  std::size_t syncOffset = 0;  // offset of 0x0B in the searched bytes
  Ac3FrameHeader header;
};

// Finds the first sync word in data whose header lies wholly inside data and carries a valid
// frmsizecod (0..37). A sync word too close to the end to hold its header, or one followed by an
// impossible frame-size code, is not a frame start, so the search goes on behind it.
std::optional<Ac3FrameHeaderMatch> FindAc3FrameHeader(std::span<const BYTE> data);
