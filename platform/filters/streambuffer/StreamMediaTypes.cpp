#include "platform/filters/streambuffer/StreamMediaTypes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/dshow/FormatBlocks.h"
#include "platform/dshow/Guids.h"

namespace asf {
namespace {

constexpr WORD kWaveFormatAc3 = 0x2000;
constexpr std::size_t kSequenceHeaderOffset = 132;  // in an MPEG2VIDEOINFO block
constexpr std::size_t kSequenceHeaderMaximum = 256;

bool IsAudioSubtype(const GUID& subtype) {
  return subtype == MEDIASUBTYPE_DOLBY_AC3 || subtype == MEDIASUBTYPE_MPEG2_AUDIO ||
         subtype == MEDIASUBTYPE_MPEG1AudioPayload || subtype == MEDIASUBTYPE_MPEG1Audio ||
         subtype == MEDIASUBTYPE_MPEG1Payload;
}

std::uint32_t Le32(const BYTE* at) { return at[0] | (at[1] << 8) | (at[2] << 16) | (std::uint32_t{at[3]} << 24); }

// The picture size of a video format block (VIDEOINFOHEADER, VIDEOINFOHEADER2, MPEG2VIDEOINFO).
void PictureSizeOf(const AM_MEDIA_TYPE& type, std::uint32_t* width, std::uint32_t* height, std::int64_t* frame) {
  std::size_t bitmap = 0, average = 0;
  if (type.formattype == FORMAT_VideoInfo) {
    bitmap = offsetof(VIDEOINFOHEADER, bmiHeader);
    average = offsetof(VIDEOINFOHEADER, AvgTimePerFrame);
  } else if (type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2Video) {
    bitmap = offsetof(VIDEOINFOHEADER2, bmiHeader);
    average = offsetof(VIDEOINFOHEADER2, AvgTimePerFrame);
  } else {
    return;
  }
  if (!type.pbFormat || type.cbFormat < bitmap + 12) return;
  const std::int32_t w = static_cast<std::int32_t>(Le32(type.pbFormat + bitmap + 4));
  const std::int32_t h = static_cast<std::int32_t>(Le32(type.pbFormat + bitmap + 8));
  if (w > 0 && w <= 16384) *width = static_cast<std::uint32_t>(w);
  if (h != 0 && h >= -16384 && h <= 16384) *height = static_cast<std::uint32_t>(h < 0 ? -h : h);
  const std::int64_t avg = static_cast<std::int64_t>(Le32(type.pbFormat + average)) |
                           (static_cast<std::int64_t>(Le32(type.pbFormat + average + 4)) << 32);
  if (avg > 0 && avg < 10'000'000) *frame = avg;
}

std::vector<std::uint8_t> SequenceHeaderOf(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_MPEG2Video || !type.pbFormat || type.cbFormat <= kSequenceHeaderOffset) return {};
  const std::uint32_t declared = Le32(type.pbFormat + offsetof(MPEG2VIDEOINFO, cbSequenceHeader));
  const std::size_t present = type.cbFormat - kSequenceHeaderOffset;
  const std::size_t size = std::min<std::size_t>({declared, present, kSequenceHeaderMaximum});
  const BYTE* at = type.pbFormat + kSequenceHeaderOffset;
  if (size < 12 || SequenceHeaderLength(at, size) == 0) return {};
  return std::vector<std::uint8_t>(at, at + size);
}

std::vector<std::uint8_t> PlainWaveFormat(RecordedCodec codec) {
  if (codec == RecordedCodec::Ac3Audio) {
    WAVEFORMATEX format{};
    format.wFormatTag = kWaveFormatAc3;
    format.nChannels = 2;
    format.nSamplesPerSec = 48000;
    format.nAvgBytesPerSec = 48000;
    format.nBlockAlign = 1;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&format);
    return std::vector<std::uint8_t>(bytes, bytes + sizeof format);
  }
  MPEG1WAVEFORMAT format{};
  format.wfx.wFormatTag = WAVE_FORMAT_MPEG;
  format.wfx.nChannels = 2;
  format.wfx.nSamplesPerSec = 48000;
  format.wfx.nAvgBytesPerSec = 24000;
  format.wfx.nBlockAlign = 1;
  format.wfx.cbSize = sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX);
  format.fwHeadLayer = 2;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&format);
  return std::vector<std::uint8_t>(bytes, bytes + sizeof format);
}

std::int64_t FrameDurationOf(unsigned frameRateCode) {
  static constexpr std::int64_t kDurations[9] = {0, 417083, 416667, 400000, 333667, 333333, 200000, 166833, 166667};
  return frameRateCode < 9 ? kDurations[frameRateCode] : 0;
}

}  // namespace

PinStreamKind StreamKindOf(const AM_MEDIA_TYPE& type) {
  if (type.majortype == MEDIATYPE_Video && type.subtype == MEDIASUBTYPE_MPEG2_VIDEO) return PinStreamKind::Video;
  if (type.majortype == MEDIATYPE_Audio && IsAudioSubtype(type.subtype)) return PinStreamKind::Audio;
  return PinStreamKind::None;
}

RecordedStream DescribeRecordedStream(const AM_MEDIA_TYPE& type) {
  RecordedStream stream;
  if (StreamKindOf(type) == PinStreamKind::Video) {
    stream.codec = RecordedCodec::Mpeg2Video;
    stream.width = 720;
    stream.height = 576;
    PictureSizeOf(type, &stream.width, &stream.height, &stream.frameDuration);
    stream.sequenceHeader = SequenceHeaderOf(type);
    SequenceHeaderInfo info;
    if (!stream.sequenceHeader.empty() &&
        ParseSequenceHeader(stream.sequenceHeader.data(), stream.sequenceHeader.size(), &info)) {
      stream.width = info.width;
      stream.height = info.height;
      if (info.frameDuration > 0) stream.frameDuration = info.frameDuration;
    }
    return stream;
  }
  stream.codec = type.subtype == MEDIASUBTYPE_DOLBY_AC3 ? RecordedCodec::Ac3Audio : RecordedCodec::MpegAudio;
  stream.subtype = type.subtype;
  if (type.formattype == FORMAT_WaveFormatEx && type.pbFormat && type.cbFormat >= sizeof(WAVEFORMATEX) &&
      type.cbFormat <= 0xFFFF) {
    stream.waveFormat.assign(type.pbFormat, type.pbFormat + type.cbFormat);
  } else {
    stream.waveFormat = PlainWaveFormat(stream.codec);
  }
  // Readers that go by the format tag find the codec the subtype names.
  const WORD tag = stream.codec == RecordedCodec::Ac3Audio ? kWaveFormatAc3 : WAVE_FORMAT_MPEG;
  stream.waveFormat[0] = static_cast<std::uint8_t>(tag);
  stream.waveFormat[1] = static_cast<std::uint8_t>(tag >> 8);
  return stream;
}

std::size_t SequenceHeaderLength(const std::uint8_t* data, std::size_t size) {
  if (!data || size < 12 || data[0] != 0 || data[1] != 0 || data[2] != 1 || data[3] != 0xB3) return 0;
  std::size_t length = 12;
  bool nonIntra = data[11] & 0x01;
  if (data[11] & 0x02) {  // load_intra_quantiser_matrix: 64 bytes, then the non-intra flag
    if (size < 76) return 0;
    nonIntra = data[75] & 0x01;
    length = 76;
  }
  if (nonIntra) length += 64;
  if (length > size) return 0;
  // A sequence extension (00 00 01 B5, identifier 1) right after belongs to the header.
  if (size >= length + 10 && data[length] == 0 && data[length + 1] == 0 && data[length + 2] == 1 &&
      data[length + 3] == 0xB5 && (data[length + 4] >> 4) == 1) {
    length += 10;
  }
  return length;
}

bool ParseSequenceHeader(const std::uint8_t* data, std::size_t size, SequenceHeaderInfo* info) {
  if (!info || SequenceHeaderLength(data, size) == 0) return false;
  info->width = (std::uint32_t{data[4]} << 4) | (data[5] >> 4);
  info->height = ((std::uint32_t{data[5]} & 0x0F) << 8) | data[6];
  if (info->width == 0 || info->height == 0) return false;
  switch (data[7] >> 4) {
    case 2: info->aspectX = 4, info->aspectY = 3; break;
    case 3: info->aspectX = 16, info->aspectY = 9; break;
    case 4: info->aspectX = 221, info->aspectY = 100; break;
    default: info->aspectX = info->width, info->aspectY = info->height; break;
  }
  info->frameDuration = FrameDurationOf(data[7] & 0x0F);
  const std::size_t length = SequenceHeaderLength(data, size);
  // Header lengths are 12 + 64 per matrix; with the 10-byte extension 22 + 64 per matrix.
  const bool extension = length >= 22 && (length - 22) % 64 == 0;
  info->lowDelay = extension && (data[length - 1] & 0x80);
  return true;
}

void MakeVideoMediaType(const std::vector<std::uint8_t>& sequenceHeader, std::uint32_t width, std::uint32_t height,
                        CMediaType* type) {
  SequenceHeaderInfo info;
  info.width = width;
  info.height = height;
  const bool parsed = ParseSequenceHeader(sequenceHeader.data(), sequenceHeader.size(), &info);
  const std::size_t headerBytes = parsed ? sequenceHeader.size() : 0;
  type->InitMediaType();
  type->SetType(&MEDIATYPE_Video);
  type->SetSubtype(&MEDIASUBTYPE_MPEG2_VIDEO);
  type->SetFormatType(&FORMAT_MPEG2Video);
  type->bFixedSizeSamples = TRUE;
  type->SetTemporalCompression(FALSE);
  type->lSampleSize = 0;
  const ULONG size = Mpeg2VideoInfoSize(static_cast<ULONG>(headerBytes));
  BYTE* block = type->AllocFormatBuffer(size < sizeof(MPEG2VIDEOINFO) ? sizeof(MPEG2VIDEOINFO) : size);
  if (!block) return;
  MPEG2VIDEOINFO video{};
  video.hdr.rcSource = RECT{0, 0, static_cast<LONG>(info.width), static_cast<LONG>(info.height)};
  video.hdr.AvgTimePerFrame = info.frameDuration;
  video.hdr.dwPictAspectRatioX = info.aspectX;
  video.hdr.dwPictAspectRatioY = info.aspectY;
  video.hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  video.hdr.bmiHeader.biWidth = static_cast<LONG>(info.width);
  video.hdr.bmiHeader.biHeight = static_cast<LONG>(info.height);
  video.cbSequenceHeader = static_cast<DWORD>(headerBytes);
  video.dwProfile = 2;  // main profile
  video.dwLevel = 2;    // main level
  std::memcpy(block, &video, kSequenceHeaderOffset);
  if (headerBytes > 0) std::memcpy(block + kSequenceHeaderOffset, sequenceHeader.data(), headerBytes);
}

void MakeAudioMediaType(RecordedCodec codec, const GUID& subtype, const std::vector<std::uint8_t>& waveFormat,
                        CMediaType* type) {
  type->InitMediaType();
  type->SetType(&MEDIATYPE_Audio);
  type->SetSubtype(&subtype);
  type->SetFormatType(&FORMAT_WaveFormatEx);
  type->bFixedSizeSamples = TRUE;
  type->SetTemporalCompression(FALSE);
  type->lSampleSize = 0;
  if (waveFormat.size() >= sizeof(WAVEFORMATEX)) {
    type->SetFormat(waveFormat.data(), static_cast<ULONG>(waveFormat.size()));
  } else {
    const std::vector<std::uint8_t> plain = PlainWaveFormat(codec);
    type->SetFormat(plain.data(), static_cast<ULONG>(plain.size()));
  }
}

}  // namespace asf
