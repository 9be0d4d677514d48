#pragma once
// The kinds of elementary stream the multiplexer carries, and what a caller tells about a stream.
#include <cstdint>
#include <limits>

namespace outside {

enum class StreamKind { Mpeg1Video, Mpeg2Video, H264Video, MpegAudio, Ac3Audio, AacAudio };

constexpr bool IsVideo(StreamKind kind) {
  return kind == StreamKind::Mpeg1Video || kind == StreamKind::Mpeg2Video || kind == StreamKind::H264Video;
}

struct StreamInfo {
  StreamKind kind = StreamKind::Mpeg2Video;
  char language[4] = {};  // ISO 639-2 code, empty when unknown
};

// Times inside the multiplexer are 90 kHz ticks; kNoTime marks a time that is not known.
inline constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();
inline constexpr std::int64_t kClock90k = 90000;

}  // namespace outside
