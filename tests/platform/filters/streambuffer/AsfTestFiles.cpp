#include "tests/platform/filters/streambuffer/AsfTestFiles.h"

#include <fstream>
#include <iterator>
#include <map>

#include "platform/dshow/FormatBlocks.h"
#include "platform/filters/streambuffer/AsfFileReader.h"
#include "platform/filters/streambuffer/AsfPacketParser.h"
#include "platform/filters/streambuffer/StreamMediaTypes.h"
#include "tests/support/Mpeg2SequenceHeader.h"

namespace dvrtest {
namespace {

CMediaType AudioType(const GUID& subtype, WORD tag) {
  CMediaType type;
  type.InitMediaType();
  type.SetType(&MEDIATYPE_Audio);
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  WAVEFORMATEX format{};
  format.wFormatTag = tag;
  format.nChannels = 2;
  format.nSamplesPerSec = 48000;
  format.nAvgBytesPerSec = 24000;
  format.nBlockAlign = 1;
  type.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof format);
  return type;
}

// Puts payloads back into objects, one open object per stream.
class Collector final : public asf::AsfPayloadSink {
 public:
  Collector(const std::vector<asf::PlayableStream>& streams, std::uint64_t preroll, ReadResult* result)
      : m_streams(streams), m_preroll(preroll), m_result(result) {}
  void SetPacket(std::uint64_t packet) { m_packet = packet; }
  HRESULT OnPayload(const asf::AsfPayload& payload) override {
    const asf::PlayableStream* stream = nullptr;
    for (const auto& s : m_streams)
      if (s.number == payload.stream) stream = &s;
    if (!stream) return S_OK;
    Open& open = m_open[payload.stream];
    if (payload.offset == 0) {
      ReadObject object;
      object.stream = payload.stream;
      object.keyFrame = payload.keyFrame;
      object.times = asf::TimesOf(*stream, payload, m_preroll);
      object.firstPacket = m_packet;
      m_result->objects.push_back(std::move(object));
      open.index = m_result->objects.size() - 1;
      open.number = payload.objectNumber;
      open.expected = 0;
    } else if (open.index == SIZE_MAX || open.number != payload.objectNumber || open.expected != payload.offset) {
      ++m_result->brokenObjects;
      open.index = SIZE_MAX;
      return S_OK;
    }
    Bytes& data = m_result->objects[open.index].data;
    data.insert(data.end(), payload.data, payload.data + payload.size);
    open.expected = payload.offset + payload.size;
    if (open.expected >= payload.objectSize) open.index = SIZE_MAX;
    return S_OK;
  }

 private:
  struct Open {
    std::size_t index = SIZE_MAX;
    std::uint32_t number = 0;
    std::uint64_t expected = 0;
  };
  const std::vector<asf::PlayableStream>& m_streams;
  std::uint64_t m_preroll;
  ReadResult* m_result;
  std::uint64_t m_packet = 0;
  std::map<std::uint16_t, Open> m_open;
};

}  // namespace

CMediaType VideoType() {
  CMediaType type;
  asf::MakeVideoMediaType(testsupport::Mpeg2SequenceHeader{}.Build(), 720, 576, &type);
  return type;
}

CMediaType Ac3Type() { return AudioType(MEDIASUBTYPE_DOLBY_AC3, 0x2000); }
CMediaType MpegAudioType() { return AudioType(MEDIASUBTYPE_MPEG1AudioPayload, WAVE_FORMAT_MPEG); }

CMediaType H264Type() {
  CMediaType type;
  type.InitMediaType();
  type.SetType(&MEDIATYPE_Video);
  type.SetSubtype(&MEDIASUBTYPE_H264);
  return type;
}

Bytes Pattern(std::size_t size, unsigned seed, const Bytes& prefix) {
  Bytes bytes(prefix.begin(), prefix.begin() + static_cast<std::ptrdiff_t>(std::min(prefix.size(), size)));
  std::uint32_t state = seed * 2654435761u + 1;
  while (bytes.size() < size) {
    state = state * 1664525u + 1013904223u;
    bytes.push_back(static_cast<std::uint8_t>(state >> 24));
  }
  return bytes;
}

Bytes SequenceStart() {
  Bytes bytes = testsupport::Mpeg2SequenceHeader{}.Build();
  const Bytes gopAndPicture = {0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00, 0x00,   // GOP
                               0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0xFF, 0xF8};  // picture, I
  bytes.insert(bytes.end(), gopAndPicture.begin(), gopAndPicture.end());
  return bytes;
}

std::vector<asf::RecordedStream> VideoAndAudio() {
  return {asf::DescribeRecordedStream(VideoType()), asf::DescribeRecordedStream(Ac3Type())};
}

ReadResult ReadObjects(const std::filesystem::path& file) {
  ReadResult result;
  asf::AsfFileReader reader;
  result.status = reader.Open(file.string());
  if (FAILED(result.status)) return result;
  std::vector<asf::PlayableStream> streams;
  result.status = asf::FindPlayableStreams(reader.Header(), &streams);
  if (FAILED(result.status)) return result;
  Collector collector(streams, reader.Header().file.prerollMs, &result);
  std::vector<std::uint8_t> packet(reader.PacketSize());
  for (std::uint64_t p = 0; p < reader.PacketCount(); ++p) {
    std::uint32_t read = 0;
    if (FAILED(reader.ReadPackets(p, 1, packet.data(), &read)) || read != 1) break;
    collector.SetPacket(p);
    if (asf::ParseAsfPacket(packet.data(), packet.size(), collector) != S_OK) ++result.damagedPackets;
  }
  return result;
}

Bytes ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& file, const Bytes& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace dvrtest
