#pragma once
// The examiner, timing and seeking state of the output pin (TsOutputPin). The pin object owns one.
//
// Locking: `pinLock` (re-entrant) guards every member; it is also the seeking lock. Take it before
// the filter lock, never after.
#include <cstdint>
#include <mutex>

#include "platform/dshow/CritSec.h"
#include "tsfilter/analysis/SdtParser.h"
#include "tsfilter/analysis/TsPacket.h"
#include "tsfilter/services/H264ParameterList.h"

namespace tsfilter {

class TsFilterState;

inline constexpr std::int64_t kFrameLength = 333333;  // one frame at 30 frames per second, 100 ns

struct TsPinState {
  // What the pin's constructor sets from the filter: the stream buffer as current buffer, the
  // file size asked once, the filter's duration as duration and stop. Takes the filter lock.
  void AttachToFilter(TsFilterState& filter);
  // OnThreadDestroy: position, first PTS and last PTS back to 0 (the stream time stays).
  void ResetPlayback();

  CSpinCritSec pinLock;  // taken once per packet while streaming: a spin lock

  // Examiner.
  const std::uint8_t* currentBuffer = nullptr;  // the block buffer filled last
  std::uint32_t currentPackets = 0;             // whole packets really read into it
  std::uint32_t blockStart = 0;                 // first packet of the stream buffer's block
  std::uint32_t position = 0;                   // next packet position to examine
  std::uint32_t skipTarget = 0;                 // examine without delivering while position < skip target
  std::uint32_t keyPosition = 0;                // where a sequence header was last recognised
  bool discontinuityPending = false;
  std::uint8_t localPacket[kPacketSize] = {};

  // Timing (90 kHz).
  std::uint64_t firstPts = 0;    // time zero; 0 = none yet
  std::uint64_t lastPts = 0;
  std::uint64_t streamTime = 0;  // last PTS - first PTS

  // Seeking (100 ns).
  std::int64_t duration = 0;
  std::int64_t start = 0;
  std::int64_t stop = 0;
  double rate = 1.0;
  bool byteFormat = false;
  std::int64_t frameLength = kFrameLength;

  SectionAssembler sdtAssembler;
  H264ParameterList h264Parameters;
};

}  // namespace tsfilter
