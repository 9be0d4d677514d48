#pragma once
// Media types of the stream buffer's pins and how they map to recorded streams.
//
// The sink takes MPEG-2 video (MEDIATYPE_Video / MPEG2_VIDEO) and AC3 or MPEG audio
// (MEDIATYPE_Audio / DOLBY_AC3, MPEG2_AUDIO, MPEG1AudioPayload, MPEG1Audio, MPEG1Payload), the
// types the demultiplexer's pins carry. The source gives its pins the types the demultiplexer
// set-up of the TS source makes: MPEG-2 video with an MPEG2VIDEOINFO format block holding the
// sequence header, and audio with the WAVEFORMATEX block of the recording.
#include <cstdint>
#include <vector>

#include "platform/dshow/MediaType.h"
#include "platform/filters/streambuffer/RecordingHeader.h"

namespace asf {

enum class PinStreamKind { None, Video, Audio };

// What a sink input pin would record from this type (None: not accepted).
PinStreamKind StreamKindOf(const AM_MEDIA_TYPE& type);

// The recorded stream for a connected input's type: codec, picture size and sequence header from
// the video format block, the audio subtype and its WAVEFORMATEX with the format tag the codec
// calls for (a block missing or too short is replaced by a plain one).
RecordedStream DescribeRecordedStream(const AM_MEDIA_TYPE& type);

// The source's video type. sequenceHeader: the stream's sequence header (and extension), may be
// empty; the picture size, aspect ratio and frame duration are read from it when it is valid.
void MakeVideoMediaType(const std::vector<std::uint8_t>& sequenceHeader, std::uint32_t width, std::uint32_t height,
                        CMediaType* type);
// The source's audio type: the subtype and the WAVEFORMATEX block (a plain one for the codec when
// the block is missing or shorter than a WAVEFORMATEX).
void MakeAudioMediaType(RecordedCodec codec, const GUID& subtype, const std::vector<std::uint8_t>& waveFormat,
                        CMediaType* type);

// Parses the fields of an MPEG-2 sequence header at data[0..size) (starting 00 00 01 B3).
struct SequenceHeaderInfo {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t aspectX = 4;
  std::uint32_t aspectY = 3;
  std::int64_t frameDuration = 0;  // 100 ns, 0 for an unknown frame rate code
  bool lowDelay = false;           // from the sequence extension: no B-pictures
};
bool ParseSequenceHeader(const std::uint8_t* data, std::size_t size, SequenceHeaderInfo* info);
// Length of the sequence header (with its quantiser matrices and a following sequence
// extension) at data, or 0 when data does not start with a whole one.
std::size_t SequenceHeaderLength(const std::uint8_t* data, std::size_t size);

}  // namespace asf
