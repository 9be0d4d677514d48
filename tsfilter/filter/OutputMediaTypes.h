#pragma once
// The media types of the demultiplexer output pins the filter creates: MPEG-2 video, H.264 video,
// MPEG audio, AC3 and AAC. The video types carry the current format blocks (which the video
// sequence analyzer fills with the real picture size); the audio types share one fixed block.
#include <array>
#include <cstdint>

#include "platform/dshow/MediaType.h"
#include "tsfilter/services/VideoFormatBlock.h"

namespace tsfilter {

enum class OutputKind { Mpeg2Video, H264Video, MpegAudio, Ac3Audio, AacAudio };

inline constexpr std::size_t kAudioFormatBlockSize = 40;
using AudioFormatBlock = std::array<std::uint8_t, kAudioFormatBlockSize>;

// MPEG1WAVEFORMAT: layer 2, stereo, 48 kHz, 256 kbit/s.
AudioFormatBlock MakeAudioFormatBlock();

// Fills `type` for one output; false when the format block cannot be allocated.
bool MakeOutputMediaType(OutputKind kind, const VideoFormatBlocks& videoBlocks, CMediaType& type);

// The demultiplexer pin name of each output ("Video", "H.264", "Audio", "AC3", "AAC").
const char16_t* OutputPinName(OutputKind kind);

}  // namespace tsfilter
