#pragma once
// AC3 bytes for the wavwriter tests, made with the shared test-support frame-header builder.
#include <cstddef>
#include <vector>

#include "platform/com/types.h"
#include "tests/support/Ac3FrameHeader.h"

// The frame header alone (sync word to the end of the bit stream information's start).
inline std::vector<BYTE> MakeAc3Header(BYTE fscod, BYTE frmsizecod, BYTE bsmod, BYTE acmod) {
  testsupport::Ac3FrameHeader header;
  header.fscod = fscod;
  header.frmsizecod = frmsizecod;
  header.bsmod = bsmod;
  header.acmod = acmod;
  return header.Build();
}

// A header followed by zero bytes up to size bytes.
inline std::vector<BYTE> MakeAc3Frame(BYTE frmsizecod, BYTE acmod, std::size_t size) {
  std::vector<BYTE> frame = MakeAc3Header(0, frmsizecod, 0, acmod);
  if (frame.size() < size) frame.resize(size, 0x00);
  return frame;
}

inline std::vector<BYTE> Concat(std::vector<BYTE> a, const std::vector<BYTE>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
