#include "wavwriter/WavAudioStream.h"

#include "wavwriter/WavHeader.h"

std::span<const BYTE> WavAudioStream::SelectAudio(std::span<const BYTE> sample) {
  if (HasFrameHeader()) return sample;
  const auto match = FindAc3FrameHeader(sample);
  if (!match) return {};
  // A header with frmsizecod 0 is recorded too, but counts as none seen: the next sample is
  // searched again.
  m_firstFrame = match->header;
  return sample.subspan(match->syncOffset);
}

HRESULT WavAudioStream::BuildHeader(std::span<const BYTE> format, std::span<BYTE> out) const {
  return WavHeader::Build(format, m_layout.DataBytes(), m_firstFrame, out);
}
