#pragma once
// The audio side of the WAV writer, free of the media graph: which bytes of each input sample go
// into the file, where in the file they land, and the header describing what has landed so far.
//
// Until a frame header with a non-zero frmsizecod has been seen, every sample is searched for the
// AC3 sync word. Bytes are dropped only until the run's audio starts: before the first sync word
// (a sample without one is dropped whole), so the file's audio starts on a frame. A header with
// frmsizecod 0 starts the audio but does not count as known: later samples are still searched for
// a header to correct the format block from, without dropping anything. Once one is known, samples
// pass whole. The frame header learnt persists for the object's life; the byte counts and the
// start of the audio begin afresh with every run.
//
// Not thread-safe: the owner serialises Select/Place (streaming thread) against Start and the
// header (control thread).
#include <cstdint>
#include <span>

#include "wavwriter/Ac3FrameHeader.h"
#include "wavwriter/WavDataLayout.h"

class WavAudioStream {
 public:
  // A new run: no audio yet, the header sized for a format block of formatBytes.
  HRESULT Start(std::uint32_t formatBytes) {
    m_audioStarted = false;
    return m_layout.Start(formatBytes);
  }

  // The part of sample that belongs in the file (possibly empty). Looks for the first frame
  // header while none with a non-zero frmsizecod is known.
  std::span<const BYTE> SelectAudio(std::span<const BYTE> sample);

  // Places length bytes behind the audio so far: [start, stop) file offsets. E_FAIL when the file
  // would pass 4 GiB (nothing is placed then).
  HRESULT Place(std::uint32_t length, REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    return m_layout.Place(length, start, stop);
  }

  // Writes the header for the audio placed so far into out (HeaderBytes() long), the format
  // block corrected from the first frame header when one is known.
  HRESULT BuildHeader(std::span<const BYTE> format, std::span<BYTE> out) const;

  std::uint32_t HeaderBytes() const { return m_layout.HeaderBytes(); }
  std::uint32_t DataBytes() const { return m_layout.DataBytes(); }
  const Ac3FrameHeader& FirstFrame() const { return m_firstFrame; }
  bool HasFrameHeader() const { return m_firstFrame.frmsizecod != 0; }

 private:
  Ac3FrameHeader m_firstFrame;
  bool m_audioStarted = false;  // a sync word was seen in this run
  WavDataLayout m_layout;
};
