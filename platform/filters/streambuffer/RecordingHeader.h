#pragma once
// The header a recorder writes in front of its data: File Properties, a video Stream Properties
// object per video stream (ASF_Video_Media with the 'DVR ' FourCC and the MPEG-2 sequence header
// as codec data), a Header Extension with an Extended Stream Properties object per stream (the
// audio streams' Stream Properties live inside theirs, as binary media whose type record names
// the recording audio major type and holds the WAVEFORMATEX), and a Padding object that keeps
// room for the attributes written later and lets the header be rewritten in place at stop.
//
// Every stream declares the same two payload extensions, timing (24 bytes) and decode time
// (8 bytes), so every payload's replicated data is 8 + 32 bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/com/guid.h"

namespace asf {

enum class RecordedCodec { Mpeg2Video, Ac3Audio, MpegAudio };

struct RecordedStream {
  std::uint8_t number = 0;  // 1..127
  RecordedCodec codec = RecordedCodec::Mpeg2Video;
  // Video: picture size, frame duration (100 ns, 0 when unknown), the sequence header (with its
  // extension) as codec data.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::int64_t frameDuration = 0;
  std::vector<std::uint8_t> sequenceHeader;
  // Audio: the media subtype and the WAVEFORMATEX format block as the stream's type gave them.
  GUID subtype{};
  std::vector<std::uint8_t> waveFormat;
  // Measured while recording: average bit rate and the largest media object.
  std::uint32_t bitrate = 0;
  std::uint32_t largestObject = 0;
};

struct RecordingHeaderInfo {
  GUID fileId{};
  std::uint64_t fileSize = 0;
  std::uint64_t creationTime = 0;  // FILETIME: 100 ns since 1601-01-01 UTC
  std::uint64_t packetCount = 0;
  std::uint64_t playDuration = 0;  // 100 ns, preroll included
  std::uint64_t sendDuration = 0;  // 100 ns
  std::uint32_t prerollMs = 0;
  // While recording the file is marked broadcast (sizes unknown, packets read to the end of the
  // file), so a recording cut short by a crash still reads; at stop it becomes seekable.
  bool broadcast = true;
  std::uint32_t packetSize = 0;
  std::uint32_t maxBitrate = 0;
  std::vector<RecordedStream> streams;
};

inline constexpr std::size_t kReplicatedDataSize = 8 + 24 + 8;
inline constexpr std::size_t kDataObjectHeaderSize = 50;
inline constexpr std::size_t kPaddingObjectMinimum = 24;

// The Header Object. With totalSize 0 the padding is `reserve` bytes; otherwise the padding
// makes the object exactly totalSize bytes (empty vector when it does not fit).
std::vector<std::uint8_t> BuildRecordingHeader(const RecordingHeaderInfo& info, std::size_t reserve,
                                               std::size_t totalSize = 0);

// The 50 bytes that open the Data Object. packets 0 with size 0: still being written.
void BuildDataObjectHeader(std::uint8_t* at, const GUID& fileId, std::uint64_t objectSize, std::uint64_t packets);

}  // namespace asf
