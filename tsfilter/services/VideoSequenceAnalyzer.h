#pragma once
// Learns the picture format of the selected video stream from the first bytes of one video PES
// packet: an MPEG-2 sequence header (ISO/IEC 13818-2, 6.2.2.1) or, for H.264, an access unit
// delimiter announcing I slices followed directly by a sequence parameter set (ITU-T H.264, 7.3.2.1).
// It keeps no state of its own and reads only inside the 188-byte packet.
#include <cstdint>

#include "tsfilter/services/H264ParameterList.h"
#include "tsfilter/services/VideoAttributes.h"
#include "tsfilter/services/VideoFormatBlock.h"

namespace tsfilter {

// What the analyzer reads and writes. The caller (the packet examiner) holds the pin lock and the
// filter lock while it runs.
struct VideoAnalysisContext {
  std::uint16_t videoStreamType = 0;  // 2 = MPEG-2 video, 27 = H.264
  std::uint32_t position = 0;         // the pin's current examination position
  VideoAttributes* attributes = nullptr;
  H264ParameterList* parameters = nullptr;
  VideoFormatBlocks* formats = nullptr;
  std::uint32_t* skipTarget = nullptr;
  std::uint32_t* keyPosition = nullptr;
};

class VideoSequenceAnalyzer {
 public:
  // True when a sequence header or sequence parameter set was recognised: the skip target and key
  // position are then both set to the position and the attributes (and format blocks) filled. False
  // changes nothing. All pointers of the context must be set.
  static bool Analyse(const std::uint8_t* packet, const VideoAnalysisContext& context);
};

}  // namespace tsfilter
