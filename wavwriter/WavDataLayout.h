#pragma once
// Where each piece of audio lands in the WAV file: behind the header, in delivery order. The
// file offsets become the start and stop times of the output samples (a byte-stream writer
// places every sample at its start offset). A WAV file cannot pass 4 GiB: every offset, and the
// RIFF size derived from them, must fit in 32 bits.
#include <cstdint>

#include "platform/com/hresult.h"
#include "platform/com/types.h"

class WavDataLayout {
 public:
  // Starts a new run: no audio placed yet, headerBytes = formatBytes + 28. E_FAIL when even the
  // header would not fit in a WAV file (the layout is then left empty).
  HRESULT Start(std::uint32_t formatBytes);

  // Places length more bytes behind those already placed and returns their file offsets
  // [start, stop). E_FAIL, with nothing placed, when stop would not fit in 32 bits.
  HRESULT Place(std::uint32_t length, REFERENCE_TIME* start, REFERENCE_TIME* stop);

  std::uint32_t HeaderBytes() const { return m_headerBytes; }
  std::uint32_t DataBytes() const { return m_dataBytes; }

 private:
  std::uint32_t m_headerBytes = 0;
  std::uint32_t m_dataBytes = 0;
};
