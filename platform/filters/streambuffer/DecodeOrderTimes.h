#pragma once
// Presentation times of MPEG-2 pictures that come with decode times only (ASF files made by
// other writers carry one time per video object, the decode time). A picture's presentation
// time is the decode time of the first picture of its group plus (temporal_reference + delay)
// frame durations, where the delay is one frame unless the sequence has no B-pictures
// (low_delay). A group starts at a GOP header, or at an I-picture in a stream without them.
// Objects are expected to hold one picture each, as such writers make them.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace asf {

class DecodeOrderTimes {
 public:
  // The sequence header known from the file's header, if any (frame rate and delay).
  void Reset(const std::vector<std::uint8_t>& sequenceHeader);
  // The presentation time of the picture in data (which starts an object decoded at `decode`);
  // false when it cannot be told (no picture header, frame rate unknown).
  bool PresentationTime(const std::uint8_t* data, std::size_t size, std::int64_t decode, std::int64_t* presentation);

 private:
  std::int64_t m_frameDuration = 0;
  bool m_lowDelay = false;
  bool m_sawGopHeaders = false;
  bool m_groupPending = true;  // the next picture opens a group
  std::int64_t m_groupStart = 0;
};

}  // namespace asf
