#include "platform/filters/streambuffer/RecordingHeader.h"

#include "platform/dshow/Guids.h"
#include "platform/filters/streambuffer/AsfBytes.h"
#include "platform/filters/streambuffer/AsfGuids.h"

namespace asf {
namespace {

constexpr std::uint32_t kDvrFourCC = 0x20525644;  // 'DVR '
constexpr std::uint32_t kFlagBroadcast = 0x1;
constexpr std::uint32_t kFlagSeekable = 0x2;
constexpr std::uint32_t kStreamSeekable = 0x2;

bool IsVideo(const RecordedStream& s) { return s.codec == RecordedCodec::Mpeg2Video; }

void FileProperties(AsfBuilder& out, const RecordingHeaderInfo& info) {
  const std::size_t start = out.BeginObject(kFileProperties);
  out.Guid(info.fileId);
  out.U64(info.broadcast ? 0 : info.fileSize);
  out.U64(info.creationTime);
  out.U64(info.broadcast ? 0 : info.packetCount);
  out.U64(info.broadcast ? 0 : info.playDuration);
  out.U64(info.broadcast ? 0 : info.sendDuration);
  out.U64(info.prerollMs);
  out.U32(info.broadcast ? kFlagBroadcast : kFlagSeekable);
  out.U32(info.packetSize);
  out.U32(info.packetSize);
  out.U32(info.maxBitrate);
  out.EndObject(start);
}

// Stream Properties up to its type-specific data; `typeSpecific` is appended by the caller, who
// then ends the object.
void StreamPropertiesHead(AsfBuilder& out, const GUID& type, std::uint8_t number, std::size_t typeSpecific) {
  out.Guid(type);
  out.Guid(kNoErrorCorrection);
  out.U64(0);  // time offset
  out.U32(static_cast<std::uint32_t>(typeSpecific));
  out.U32(0);  // error correction data
  out.U16(number & 0x7F);
  out.U32(0);
}

void VideoStreamProperties(AsfBuilder& out, const RecordedStream& s) {
  const std::size_t start = out.BeginObject(kStreamProperties);
  const std::size_t bitmap = 40 + s.sequenceHeader.size();
  StreamPropertiesHead(out, kVideoMedia, s.number, 11 + bitmap);
  out.U32(s.width);
  out.U32(s.height);
  out.U8(0x02);
  out.U16(static_cast<std::uint16_t>(bitmap));
  out.U32(static_cast<std::uint32_t>(bitmap));  // biSize
  out.U32(s.width);
  out.U32(s.height);
  out.U16(1);   // biPlanes
  out.U16(24);  // biBitCount
  out.U32(kDvrFourCC);
  out.U32(s.width * s.height * 3);  // biSizeImage
  out.Zeros(16);                    // pels per metre, colours
  out.Append(s.sequenceHeader.data(), s.sequenceHeader.size());
  out.EndObject(start);
}

void AudioStreamProperties(AsfBuilder& out, const RecordedStream& s) {
  const std::size_t start = out.BeginObject(kStreamProperties);
  StreamPropertiesHead(out, kBinaryMedia, s.number, 64 + s.waveFormat.size());
  out.Guid(kRecordingAudioMajorType);
  out.Guid(s.subtype);
  out.U32(1);  // fixed-size samples
  out.U32(0);  // temporal compression
  out.U32(0);  // sample size
  out.Guid(FORMAT_WaveFormatEx);
  out.U32(static_cast<std::uint32_t>(s.waveFormat.size()));
  out.Append(s.waveFormat.data(), s.waveFormat.size());
  out.EndObject(start);
}

void PayloadExtension(AsfBuilder& out, const GUID& id, std::uint16_t size) {
  out.Guid(id);
  out.U16(size);
  out.U32(0);  // no system info
}

void ExtendedStreamProperties(AsfBuilder& out, const RecordingHeaderInfo& info, const RecordedStream& s) {
  const std::size_t start = out.BeginObject(kExtendedStreamProperties);
  const std::uint64_t durationMs = info.playDuration / 10000 > info.prerollMs ? info.playDuration / 10000 - info.prerollMs : 0;
  out.U64(0);                                 // start time
  out.U64(info.broadcast ? 0 : durationMs);  // end time
  out.U32(s.bitrate);
  out.U32(0);  // buffer size
  out.U32(0);  // initial buffer fullness
  out.U32(s.bitrate);
  out.U32(0);
  out.U32(0);
  out.U32(s.largestObject);
  out.U32(kStreamSeekable);
  out.U16(s.number);
  out.U16(0);  // language index
  out.U64(IsVideo(s) && s.frameDuration > 0 ? static_cast<std::uint64_t>(s.frameDuration) : 0);
  out.U16(0);  // stream names
  out.U16(2);  // payload extension systems
  PayloadExtension(out, kTimingExtension, kTimingExtensionSize);
  PayloadExtension(out, kDecodeTimeExtension, kDecodeTimeExtensionSize);
  if (!IsVideo(s)) AudioStreamProperties(out, s);
  out.EndObject(start);
}

void HeaderExtension(AsfBuilder& out, const RecordingHeaderInfo& info) {
  const std::size_t start = out.BeginObject(kHeaderExtension);
  out.Guid(kReserved1);
  out.U16(6);
  const std::size_t dataSize = out.Size();
  out.U32(0);
  const std::size_t nested = out.Size();
  for (const RecordedStream& s : info.streams) ExtendedStreamProperties(out, info, s);
  out.Patch(dataSize, out.Size() - nested, 4);
  out.EndObject(start);
}

}  // namespace

std::vector<std::uint8_t> BuildRecordingHeader(const RecordingHeaderInfo& info, std::size_t reserve,
                                               std::size_t totalSize) {
  AsfBuilder out;
  const std::size_t start = out.BeginObject(kHeaderObject);
  std::uint32_t children = 0;
  out.U32(0);
  out.U8(0x01);
  out.U8(0x02);
  FileProperties(out, info);
  ++children;
  for (const RecordedStream& s : info.streams) {
    if (!IsVideo(s)) continue;
    VideoStreamProperties(out, s);
    ++children;
  }
  HeaderExtension(out, info);
  ++children;

  const std::size_t withoutPadding = out.Size() + kPaddingObjectMinimum;
  std::size_t padding = reserve;
  if (totalSize != 0) {
    if (totalSize < withoutPadding) return {};
    padding = totalSize - withoutPadding;
  }
  const std::size_t pad = out.BeginObject(kPadding);
  out.Zeros(padding);
  out.EndObject(pad);
  ++children;
  out.Patch(start + 24, children, 4);
  out.EndObject(start);
  return std::move(out.Bytes());
}

void BuildDataObjectHeader(std::uint8_t* at, const GUID& fileId, std::uint64_t objectSize, std::uint64_t packets) {
  StoreGuid(at, kDataObject);
  StoreLe(at + 16, objectSize, 8);
  StoreGuid(at + 24, fileId);
  StoreLe(at + 40, packets, 8);
  StoreLe(at + 48, 0x0101, 2);
}

}  // namespace asf
