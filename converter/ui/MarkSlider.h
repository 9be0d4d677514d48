#pragma once
// The mark editors' slider as numbers: range, page size, tick frequency, selection and thumb
// position in whole seconds of the recording; and the played bar that the editor's timer paints
// into the slider's channel, as pixel spans.
#include <optional>
#include <vector>

#include "platform/com/types.h"

struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  bool operator==(const PixelRect&) const = default;
};

struct SliderModel {
  int rangeMin = 0;
  int rangeMax = 100;
  int pageSize = 5;
  int tickFrequency = 5;
  bool hasSelection = false;
  int selectionStart = 0;
  int selectionEnd = 0;
  int position = 0;
  bool toolTips = false;

  // The trackbar's own defaults (the Set Mark window keeps them until a recording is found).
  static SliderModel ControlDefaults() { return SliderModel{0, 100, 20, 1}; }
  // A recording of the given whole seconds: range 0 … seconds, page and ticks every twentieth.
  void SetRecordingLength(int seconds);
  // The thumb, kept within the range.
  void SetPosition(int seconds);
};

// Where the slider control draws its channel and its thumb, in pixels.
struct SliderGeometry {
  PixelRect channel;
  PixelRect thumb;
};

// What one timer tick paints: the rectangle to redraw first (empty: the whole control), then the
// spans of the channel to fill in the highlight colour.
struct PlayedBar {
  std::optional<PixelRect> redraw;
  std::vector<PixelRect> spans;
};

// The played part up to positionSeconds of a slider with range maximum rangeMax: the channel
// shrunk by 2 pixels a side (lowerBottomAgain: its bottom 1 pixel lower again, as the Sources
// panel draws it), x = left + position × width / rangeMax, and the spans left of the thumb (when
// wider than 1 pixel) and right of it up to x. A range maximum of 0 paints nothing.
PlayedBar ComputePlayedBar(const SliderGeometry& geometry, LONGLONG positionSeconds, int rangeMax,
                           bool lowerBottomAgain);
