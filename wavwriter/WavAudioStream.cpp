#include "wavwriter/WavAudioStream.h"

#include "wavwriter/WavHeader.h"

std::span<const BYTE> WavAudioStream::SelectAudio(std::span<const BYTE> sample) {
  if (HasFrameHeader()) return sample;
  const auto match = FindAc3FrameHeader(sample);
  // A header with frmsizecod 0 is recorded too, but counts as none seen: the next sample is
  // searched again.
  if (match) m_firstFrame = match->header;
  // Dropping bytes after the audio has started would cut holes into the frames (a 32 kbit/s
  // track has frmsizecod 0 in every frame header).
  if (m_audioStarted) return sample;
  if (!match) return {};
  m_audioStarted = true;
  return sample.subspan(match->syncOffset);
}

HRESULT WavAudioStream::BuildHeader(std::span<const BYTE> format, std::span<BYTE> out) const {
  return WavHeader::Build(format, m_layout.DataBytes(), m_firstFrame, out);
}
