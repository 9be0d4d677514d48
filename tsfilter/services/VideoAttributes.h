#pragma once
// The picture format of the selected video stream, as the video sequence analyzer learnt it.
#include <cstdint>

namespace tsfilter {

struct VideoAttributes {
  std::uint16_t width = 0;    // luma pixels
  std::uint16_t height = 0;   // luma pixels
  std::uint16_t aspectX = 0;  // display aspect ratio; 0 = not known yet, the analysis still has to run
  std::uint16_t aspectY = 0;
  double frameRate = 0.0;     // frames per second
  std::uint8_t profileIdc = 0;  // H.264 profile_idc; 0 = no H.264 parameters seen
  std::uint8_t levelIdc = 0;
};

}  // namespace tsfilter
