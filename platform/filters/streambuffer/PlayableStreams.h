#pragma once
// Which streams of an ASF file the stream-buffer source plays, and how: MPEG-2 video (a video
// stream whose FourCC names MPEG-2, as recordings' 'DVR ' does, or a binary-media MPEG-2 video
// type), and AC3 or MPEG audio (a plain audio stream by its format tag, or a recording's
// binary-media audio by its subtype, else its format tag, else the first bytes of its payload).
// The first video and the first audio stream are played; other streams are skipped.
//
// Times of a payload: the timing extension's start time where the stream declares one (all ones:
// the object has no time), else the replicated presentation time; the decode time from this
// system's own extension. Both less the preroll, in 100-ns units.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/filters/streambuffer/AsfHeader.h"
#include "platform/filters/streambuffer/AsfPacketParser.h"
#include "platform/filters/streambuffer/RecordingHeader.h"

namespace asf {

struct PlayableStream {
  std::uint16_t number = 0;
  RecordedCodec codec = RecordedCodec::Mpeg2Video;
  bool codecFromPayload = false;  // audio whose codec only the payload can tell
  // Video.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> sequenceHeader;
  // Audio.
  GUID subtype{};
  std::vector<std::uint8_t> waveFormat;
  // Payload extensions, in the order their data comes in the replicated data.
  std::vector<AsfPayloadExtensionSystem> extensions;

  bool IsVideo() const { return codec == RecordedCodec::Mpeg2Video; }
};

struct PayloadTimes {
  bool hasStart = false;
  std::int64_t start = 0;
  bool hasDecode = false;
  std::int64_t decode = 0;
};

// The first MPEG-2 video and the first AC3/MPEG audio stream, video first. kProtectedContent
// for a protected file; kNoPlayableStream when there is neither.
HRESULT FindPlayableStreams(const AsfHeader& header, std::vector<PlayableStream>* streams);

// The times of an object starting in this payload.
PayloadTimes TimesOf(const PlayableStream& stream, const AsfPayload& payload, std::uint64_t prerollMs);

// Decides an audio codec from the first bytes of an object: AC3 sync word or MPEG audio sync.
std::optional<RecordedCodec> AudioCodecOfPayload(const std::uint8_t* data, std::size_t size);

}  // namespace asf
