#include "converter/ui/InformationAnswers.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "converter/ui/CommandIds.h"
#include "converter/ui/MenuModel.h"
#include "platform/dshow/SeekingInterfaces.h"

namespace information {

namespace {
constexpr std::uint64_t kPacketSize = 188;
constexpr long kHdWidth = 1280;
}  // namespace

std::string VideoSizeAnswer(long width, long height, std::string* ratioText, bool* hd) {
  if (width <= 0 || height <= 0) return std::string();
  char text[48];
  std::snprintf(text, sizeof text, "%ld x %ld", width, height);
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%1.3f", static_cast<double>(width) / static_cast<double>(height));
  if (ratioText) *ratioText = ratio;
  if (hd) *hd = width >= kHdWidth;
  return text;
}

std::string AspectRatioAnswer(const std::string& ratioText) {
  if (ratioText == "1.777" || ratioText == "1.778") return "16:9";
  if (ratioText == "1.333") return "4:3";
  return ratioText;
}

std::string FrameRateAnswer(double encodedFrameRate, long framesPerHundredSeconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%2.2f (%2.2f)", encodedFrameRate, static_cast<double>(framesPerHundredSeconds) * 0.01);
  return text;
}

std::string MaxPacketAnswer(std::uint64_t inputSize) {
  char text[32];
  std::snprintf(text, sizeof text, "%" PRIu64, inputSize / kPacketSize);
  return text;
}

std::string CurPacketAnswer(std::uint64_t inputSize, LONGLONG position, LONGLONG duration) {
  if (duration <= 0) return std::string();
  // A position before the start counts as 0 %; the product × 100 stays in range for any media
  // time below 290 years, and beyond that the division comes first.
  constexpr LONGLONG kLargest = std::numeric_limits<LONGLONG>::max() / 100;
  LONGLONG percent = 0;
  if (position > 0) percent = position < kLargest ? position * 100 / duration : position / duration * 100;
  char text[32];
  std::snprintf(text, sizeof text, "%" PRIu64, inputSize / kPacketSize * static_cast<std::uint64_t>(percent) / 100);
  return text;
}

std::string CurPacketAnswer(std::uint64_t inputSize, IMediaSeeking* graphSeeking) {
  if (!graphSeeking) return std::string();
  LONGLONG duration = 0, position = 0;
  if (FAILED(graphSeeking->GetDuration(&duration)) || FAILED(graphSeeking->GetCurrentPosition(&position)))
    return std::string();
  return CurPacketAnswer(inputSize, position, duration);
}

bool IsHdVideoSize(const std::string& videoSizeAnswer) {
  return std::atol(videoSizeAnswer.c_str()) >= kHdWidth;
}

std::string TrackFieldText(const MainMenu& menu, int audioTrackIndex) {
  if (audioTrackIndex >= 0 && audioTrackIndex < MainMenu::kMaxAudioTracks) {
    const UINT id = ID_AUDIO_TRACK_FIRST + static_cast<UINT>(audioTrackIndex);
    if (menu.HasItem(id)) return menu.ItemText(id);
  }
  char text[32];
  std::snprintf(text, sizeof text, "Track %d", audioTrackIndex);
  return text;
}

}  // namespace information
