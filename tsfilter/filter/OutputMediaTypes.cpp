#include "tsfilter/filter/OutputMediaTypes.h"

#include <cstring>

#include "platform/dshow/FormatBlocks.h"
#include "platform/dshow/Guids.h"

namespace tsfilter {
namespace {

struct OutputDescription {
  const GUID* major;
  const GUID* subtype;
  const GUID* format;
  const char16_t* pinName;
};

OutputDescription Describe(OutputKind kind) {
  switch (kind) {
    case OutputKind::Mpeg2Video:
      return {&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG2_VIDEO, &FORMAT_MPEG2Video, u"Video"};
    case OutputKind::H264Video: return {&MEDIATYPE_Video, &MEDIASUBTYPE_AVC1, &FORMAT_MPEG2Video, u"H.264"};
    case OutputKind::MpegAudio:
      return {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1AudioPayload, &FORMAT_WaveFormatEx, u"Audio"};
    case OutputKind::Ac3Audio: return {&MEDIATYPE_Audio, &MEDIASUBTYPE_DOLBY_AC3, &FORMAT_WaveFormatEx, u"AC3"};
    case OutputKind::AacAudio: return {&MEDIATYPE_Audio, &MEDIASUBTYPE_AAC_ADTS, &FORMAT_WaveFormatEx, u"AAC"};
  }
  return {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1AudioPayload, &FORMAT_WaveFormatEx, u"Audio"};
}

}  // namespace

AudioFormatBlock MakeAudioFormatBlock() {
  MPEG1WAVEFORMAT format{};
  format.wfx.wFormatTag = WAVE_FORMAT_MPEG;
  format.wfx.nChannels = 2;
  format.wfx.nSamplesPerSec = 48000;
  format.wfx.nAvgBytesPerSec = 32000;
  format.wfx.nBlockAlign = 768;
  format.wfx.wBitsPerSample = 0;
  format.wfx.cbSize = 22;
  format.fwHeadLayer = 2;
  format.dwHeadBitrate = 256000;
  format.fwHeadMode = 1;
  format.fwHeadModeExt = 1;
  format.wHeadEmphasis = 1;
  format.fwHeadFlags = 0x001C;
  AudioFormatBlock block{};
  std::memcpy(block.data(), &format, block.size());
  return block;
}

bool MakeOutputMediaType(OutputKind kind, const VideoFormatBlocks& videoBlocks, CMediaType& type) {
  const OutputDescription description = Describe(kind);
  type.InitMediaType();
  type.SetType(description.major);
  type.SetSubtype(description.subtype);
  type.SetFormatType(description.format);
  type.bFixedSizeSamples = TRUE;
  type.SetTemporalCompression(FALSE);
  type.lSampleSize = 0;
  switch (kind) {
    case OutputKind::Mpeg2Video: return type.SetFormat(videoBlocks.sd.data(), videoBlocks.sd.size());
    case OutputKind::H264Video: return type.SetFormat(videoBlocks.hd.data(), videoBlocks.hd.size());
    default: {
      const AudioFormatBlock audio = MakeAudioFormatBlock();
      return type.SetFormat(audio.data(), audio.size());
    }
  }
}

const char16_t* OutputPinName(OutputKind kind) { return Describe(kind).pinName; }

}  // namespace tsfilter
