#include "platform/filters/streambuffer/PlayableStreams.h"

#include <algorithm>
#include <cstring>

#include "platform/dshow/FormatBlocks.h"
#include "platform/dshow/Guids.h"
#include "platform/filters/streambuffer/AsfBytes.h"
#include "platform/filters/streambuffer/AsfGuids.h"
#include "platform/filters/streambuffer/StreamMediaTypes.h"

namespace asf {
namespace {

constexpr WORD kTagAc3 = 0x2000;
constexpr WORD kTagMpeg = 0x0050;
constexpr WORD kTagMp3 = 0x0055;
constexpr WORD kTagExtensible = 0xFFFE;
constexpr std::size_t kWaveFormatSize = 18;
constexpr std::size_t kBitmapSize = 40;

constexpr std::uint32_t FourCC(const char (&text)[5]) {
  return std::uint32_t(std::uint8_t(text[0])) | (std::uint32_t(std::uint8_t(text[1])) << 8) |
         (std::uint32_t(std::uint8_t(text[2])) << 16) | (std::uint32_t(std::uint8_t(text[3])) << 24);
}

bool IsMpeg2FourCC(std::uint32_t code) {
  static constexpr std::uint32_t kCodes[] = {FourCC("DVR "), FourCC("MPG2"), FourCC("mpg2"), FourCC("MP2V"),
                                             FourCC("mp2v"), FourCC("MMES"), FourCC("mmes"), FourCC("M701")};
  return std::find(std::begin(kCodes), std::end(kCodes), code) != std::end(kCodes);
}

// The format tag a WAVEFORMATEX names, looking through WAVE_FORMAT_EXTENSIBLE to its subformat.
WORD EffectiveTag(const std::vector<std::uint8_t>& wave) {
  if (wave.size() < kWaveFormatSize) return 0;
  const WORD tag = static_cast<WORD>(wave[0] | (wave[1] << 8));
  if (tag == kTagExtensible && wave.size() >= kWaveFormatSize + 22) return static_cast<WORD>(wave[24] | (wave[25] << 8));
  return tag;
}

std::optional<RecordedCodec> CodecOfTag(WORD tag) {
  if (tag == kTagAc3) return RecordedCodec::Ac3Audio;
  if (tag == kTagMpeg || tag == kTagMp3) return RecordedCodec::MpegAudio;
  return std::nullopt;
}

std::optional<RecordedCodec> CodecOfSubtype(const GUID& subtype) {
  if (subtype == MEDIASUBTYPE_DOLBY_AC3) return RecordedCodec::Ac3Audio;
  if (subtype == MEDIASUBTYPE_MPEG2_AUDIO || subtype == MEDIASUBTYPE_MPEG1AudioPayload ||
      subtype == MEDIASUBTYPE_MPEG1Audio || subtype == MEDIASUBTYPE_MPEG1Payload) {
    return RecordedCodec::MpegAudio;
  }
  return std::nullopt;
}

// A WAVEFORMATEX for downstream filters: kept as stored when it is a plain one, else rebuilt for
// the codec with the channel count and rates of the stored one.
std::vector<std::uint8_t> PlainWaveFormat(RecordedCodec codec, const std::vector<std::uint8_t>& stored) {
  const WORD tag = stored.size() >= kWaveFormatSize ? static_cast<WORD>(stored[0] | (stored[1] << 8)) : 0;
  if ((tag == kTagAc3 || tag == kTagMpeg) && stored.size() >= kWaveFormatSize) return stored;
  CMediaType type;
  MakeAudioMediaType(codec, codec == RecordedCodec::Ac3Audio ? MEDIASUBTYPE_DOLBY_AC3 : MEDIASUBTYPE_MPEG1AudioPayload,
                     {}, &type);
  std::vector<std::uint8_t> plain(type.Format(), type.Format() + type.FormatLength());
  if (stored.size() >= kWaveFormatSize) std::memcpy(plain.data() + 2, stored.data() + 2, 10);  // channels, rates
  return plain;
}

bool DescribeVideo(const AsfStreamHeader& s, PlayableStream* out) {
  AsfCursor in(s.typeSpecific.data(), s.typeSpecific.size());
  out->width = in.U32();
  out->height = in.U32();
  in.U8();
  const std::uint16_t formatSize = in.U16();
  AsfCursor bitmap = in.Child(formatSize);
  bitmap.Skip(16);
  const std::uint32_t compression = bitmap.U32();
  if (!bitmap.Ok() || formatSize < kBitmapSize || !IsMpeg2FourCC(compression)) return false;
  const std::uint8_t* extra = s.typeSpecific.data() + 11 + kBitmapSize;
  const std::size_t extraSize = formatSize - kBitmapSize;
  // Codec data that starts with a sequence header describes the picture.
  const std::size_t header = SequenceHeaderLength(extra, extraSize);
  if (header > 0) out->sequenceHeader.assign(extra, extra + header);
  out->codec = RecordedCodec::Mpeg2Video;
  return true;
}

bool DescribeAudio(const AsfStreamHeader& s, PlayableStream* out) {
  out->waveFormat = s.typeSpecific;
  const std::optional<RecordedCodec> codec = CodecOfTag(EffectiveTag(out->waveFormat));
  if (!codec) return false;
  out->codec = *codec;
  out->subtype = *codec == RecordedCodec::Ac3Audio ? MEDIASUBTYPE_DOLBY_AC3 : MEDIASUBTYPE_MPEG1AudioPayload;
  out->waveFormat = PlainWaveFormat(*codec, out->waveFormat);
  return true;
}

// A binary-media stream: a serialised media type record (major, subtype, sizes, format type and
// the format block).
bool DescribeBinary(const AsfStreamHeader& s, PlayableStream* out) {
  AsfCursor in(s.typeSpecific.data(), s.typeSpecific.size());
  const GUID major = in.Guid();
  const GUID subtype = in.Guid();
  in.Skip(12);
  const GUID formatType = in.Guid();
  const std::uint32_t formatSize = in.U32();
  const std::uint8_t* format = in.Bytes(formatSize);
  if (!in.Ok()) return false;
  if (major == MEDIATYPE_Video && subtype == MEDIASUBTYPE_MPEG2_VIDEO) {
    out->codec = RecordedCodec::Mpeg2Video;
    if (formatType == FORMAT_MPEG2Video && formatSize > 132) {
      AM_MEDIA_TYPE type{};
      type.majortype = major;
      type.subtype = subtype;
      type.formattype = formatType;
      type.cbFormat = formatSize;
      type.pbFormat = const_cast<BYTE*>(format);
      const RecordedStream described = DescribeRecordedStream(type);
      out->sequenceHeader = described.sequenceHeader;
      out->width = described.width;
      out->height = described.height;
    }
    return true;
  }
  if (major != kRecordingAudioMajorType && major != MEDIATYPE_Audio) return false;
  std::vector<std::uint8_t> wave;
  if (formatSize >= kWaveFormatSize) wave.assign(format, format + formatSize);
  std::optional<RecordedCodec> codec = CodecOfSubtype(subtype);
  if (!codec) codec = CodecOfTag(EffectiveTag(wave));
  out->codecFromPayload = !codec;
  out->codec = codec.value_or(RecordedCodec::Ac3Audio);
  out->subtype = CodecOfSubtype(subtype) ? subtype
                 : out->codec == RecordedCodec::Ac3Audio ? MEDIASUBTYPE_DOLBY_AC3
                                                         : MEDIASUBTYPE_MPEG1AudioPayload;
  out->waveFormat = codec ? PlainWaveFormat(*codec, wave) : wave;
  return true;
}

// The data of one payload extension system in the replicated data (after its first 8 bytes).
const std::uint8_t* ExtensionData(const PlayableStream& stream, const AsfPayload& payload, const GUID& id,
                                  std::size_t size) {
  AsfCursor in(payload.replicated, payload.replicatedSize);
  for (const AsfPayloadExtensionSystem& system : stream.extensions) {
    const std::size_t length = system.size == kVariableExtensionSize ? in.U16() : system.size;
    const std::uint8_t* data = in.Bytes(length);
    if (!in.Ok()) return nullptr;
    if (system.id == id) return length >= size ? data : nullptr;
  }
  return nullptr;
}

bool HasExtension(const PlayableStream& stream, const GUID& id) {
  return std::any_of(stream.extensions.begin(), stream.extensions.end(),
                     [&](const AsfPayloadExtensionSystem& s) { return s.id == id; });
}

}  // namespace

HRESULT FindPlayableStreams(const AsfHeader& header, std::vector<PlayableStream>* streams) {
  streams->clear();
  if (header.protectedContent) return kProtectedContent;
  std::vector<const AsfStreamHeader*> ordered;
  for (const AsfStreamHeader& s : header.streams) ordered.push_back(&s);
  std::sort(ordered.begin(), ordered.end(), [](auto* a, auto* b) { return a->number < b->number; });
  std::optional<PlayableStream> video, audio;
  for (const AsfStreamHeader* s : ordered) {
    PlayableStream candidate;
    candidate.number = s->number;
    candidate.extensions = s->extensions;
    bool playable = false;
    if (s->type == kVideoMedia) playable = DescribeVideo(*s, &candidate);
    else if (s->type == kAudioMedia) playable = DescribeAudio(*s, &candidate);
    else if (s->type == kBinaryMedia) playable = DescribeBinary(*s, &candidate);
    if (!playable) continue;
    std::optional<PlayableStream>& slot = candidate.IsVideo() ? video : audio;
    if (!slot) slot = std::move(candidate);
  }
  if (video) streams->push_back(std::move(*video));
  if (audio) streams->push_back(std::move(*audio));
  return streams->empty() ? kNoPlayableStream : S_OK;
}

PayloadTimes TimesOf(const PlayableStream& stream, const AsfPayload& payload, std::uint64_t prerollMs) {
  PayloadTimes times;
  const std::int64_t preroll = static_cast<std::int64_t>(std::min<std::uint64_t>(prerollMs, 1u << 30)) * 10000;
  auto fromStored = [preroll](std::uint64_t stored) { return static_cast<std::int64_t>(std::min<std::uint64_t>(stored, INT64_MAX / 2)) - preroll; };
  if (HasExtension(stream, kTimingExtension)) {
    if (const std::uint8_t* timing = ExtensionData(stream, payload, kTimingExtension, 16)) {
      const std::uint64_t start = LoadLe(timing + 8, 8);
      if (start != kNoTime) {
        times.hasStart = true;
        times.start = fromStored(start);
      }
    }
  } else if (payload.hasPresentationTime) {
    times.hasStart = true;
    times.start = fromStored(std::uint64_t{payload.presentationMs} * 10000);
  }
  if (const std::uint8_t* decode = ExtensionData(stream, payload, kDecodeTimeExtension, 8)) {
    const std::uint64_t value = LoadLe(decode, 8);
    if (value != kNoTime && times.hasStart) {
      times.hasDecode = true;
      times.decode = fromStored(value);
    }
  }
  return times;
}

std::optional<RecordedCodec> AudioCodecOfPayload(const std::uint8_t* data, std::size_t size) {
  if (!data || size < 2) return std::nullopt;
  if (data[0] == 0x0B && data[1] == 0x77) return RecordedCodec::Ac3Audio;
  if (data[0] == 0xFF && (data[1] & 0xE0) == 0xE0 && ((data[1] >> 1) & 3) != 0) return RecordedCodec::MpegAudio;
  return std::nullopt;
}

}  // namespace asf
