#include "tsfilter/analysis/TsPinState.h"

#include "tsfilter/analysis/TsFilterState.h"

namespace tsfilter {

void TsPinState::AttachToFilter(TsFilterState& filter) {
  std::lock_guard filterLock(filter.filterLock);
  std::lock_guard lock(pinLock);
  currentBuffer = filter.reader.StreamBuffer();
  currentPackets = 0;
  filter.reader.FileSize();
  duration = filter.duration;
  stop = filter.duration;
  start = 0;
  rate = 1.0;
  byteFormat = false;
  frameLength = kFrameLength;
  h264Parameters.Clear();
}

void TsPinState::ResetPlayback() {
  std::lock_guard lock(pinLock);
  position = 0;
  firstPts = 0;
  lastPts = 0;
}

}  // namespace tsfilter
