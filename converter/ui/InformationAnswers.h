#pragma once
// The answers of the main window's information query that do not come from the transport-stream
// source: for other inputs the keys are derived from the preview player's media attributes, the
// input file's size and the conversion graph's position. Also the rules the display tick applies
// to the answers (the HD flag, the Track field).
#include <cstdint>
#include <string>

#include "platform/com/types.h"

class MainMenu;
struct IMediaSeeking;

namespace information {

// VIDEOSIZE from the player's image size: "%d x %d" when both are above 0, else empty. Then
// *ratioText becomes width / height as "%1.3f" and *hd whether the width is 1280 or more; both
// stay as they were when the size is not known.
std::string VideoSizeAnswer(long width, long height, std::string* ratioText, bool* hd);

// ASPECTRATIO from the remembered ratio text: "16:9" for "1.777" or "1.778", "4:3" for "1.333",
// otherwise the ratio text itself (empty before any VIDEOSIZE answer).
std::string AspectRatioAnswer(const std::string& ratioText);

// FRAMERATE: "%2.2f (%2.2f)" of the encoded frame rate and of the frame rate given in frames per
// hundred seconds, times 0.01.
std::string FrameRateAnswer(double encodedFrameRate, long framesPerHundredSeconds);

// MAXPACKET: whole 188-byte packets of the input.
std::string MaxPacketAnswer(std::uint64_t inputSize);

// CURPACKET: the graph's position as a whole percentage q = position × 100 / duration, then the
// input's packets × q / 100, so the value moves in whole-percent steps. Empty without a graph
// seeking interface or a positive duration.
std::string CurPacketAnswer(std::uint64_t inputSize, LONGLONG position, LONGLONG duration);
std::string CurPacketAnswer(std::uint64_t inputSize, IMediaSeeking* graphSeeking);

// The HD flag from the source's VIDEOSIZE answer: the number before the first "x" is 1280 or more.
bool IsHdVideoSize(const std::string& videoSizeAnswer);

// The Track field: the text of the audio item 32790 + index, or "Track %d" of the 0-based index
// when there is no such item.
std::string TrackFieldText(const MainMenu& menu, int audioTrackIndex);

}  // namespace information
