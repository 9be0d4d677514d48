#include "converter/ui/MarkSlider.h"

#include <algorithm>
#include <cstdint>

void SliderModel::SetRecordingLength(int seconds) {
  rangeMin = 0;
  rangeMax = std::max(seconds, 0);
  pageSize = rangeMax / 20;
  tickFrequency = rangeMax / 20;
  SetPosition(position);
}

void SliderModel::SetPosition(int seconds) { position = std::clamp(seconds, rangeMin, std::max(rangeMin, rangeMax)); }

PlayedBar ComputePlayedBar(const SliderGeometry& geometry, LONGLONG positionSeconds, int rangeMax,
                           bool lowerBottomAgain) {
  PlayedBar bar;
  if (rangeMax <= 0) return bar;
  PixelRect channel = geometry.channel;
  channel.left += 2;
  channel.top += 2;
  channel.right -= 2;
  channel.bottom -= 2;
  if (lowerBottomAgain) channel.bottom += 1;
  const LONGLONG x64 = channel.left + positionSeconds * channel.Width() / rangeMax;
  const int x = static_cast<int>(std::clamp<LONGLONG>(x64, INT32_MIN / 2, INT32_MAX / 2));

  const int beforeThumb = std::min(x, geometry.thumb.left);
  if (beforeThumb - channel.left > 1) bar.spans.push_back(PixelRect{channel.left, channel.top, beforeThumb, channel.bottom});
  const int afterThumb = std::min(x, geometry.thumb.right);
  if (x > afterThumb) bar.spans.push_back(PixelRect{afterThumb, channel.top, x, channel.bottom});
  return bar;
}
