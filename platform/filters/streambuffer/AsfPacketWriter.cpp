#include "platform/filters/streambuffer/AsfPacketWriter.h"

#include <algorithm>
#include <cstring>

#include "platform/filters/streambuffer/AsfBytes.h"
#include "platform/filters/streambuffer/AsfGuids.h"
#include "platform/filters/streambuffer/RecordingHeader.h"

namespace asf {
namespace {
constexpr std::uint8_t kLengthTypeFlags = 0x11;  // multiple payloads, WORD padding length
constexpr std::uint8_t kPropertyFlags = 0x5D;
constexpr std::uint8_t kPayloadLengthWord = 0x80;
constexpr std::size_t kPaddingField = 5;   // offset of the padding length in a packet
constexpr std::size_t kSendTimeField = 7;
constexpr std::size_t kPayloadFlagsField = 13;
}  // namespace

AsfPacketWriter::AsfPacketWriter(std::uint32_t packetSize, std::uint32_t prerollMs)
    : m_packetSize(packetSize), m_prerollMs(prerollMs), m_packet(new std::uint8_t[packetSize]) {}

void AsfPacketWriter::Reset() {
  m_used = 0;
  m_payloads = 0;
  m_packets = 0;
  m_sendTime = 0;
  std::memset(m_objectNumbers, 0, sizeof m_objectNumbers);
  std::memset(m_lastPresentationMs, 0, sizeof m_lastPresentationMs);
}

std::uint32_t AsfPacketWriter::SendTimeOf(const AsfObject& object) const {
  // Packets are sent in decode order: the decode time where there is one.
  const std::uint64_t time = object.decodeTime != kNoTime ? object.decodeTime : object.presentationTime;
  if (time == kNoTime) return m_sendTime;
  const std::uint64_t ms = time / 10000;
  const std::uint64_t send = ms > m_prerollMs ? ms - m_prerollMs : 0;
  return std::max<std::uint32_t>(m_sendTime, static_cast<std::uint32_t>(std::min<std::uint64_t>(send, UINT32_MAX)));
}

void AsfPacketWriter::OpenPacket(std::uint32_t sendTime) {
  m_sendTime = sendTime;
  std::uint8_t* p = m_packet.get();
  p[0] = 0x82;
  p[1] = 0;
  p[2] = 0;
  p[3] = kLengthTypeFlags;
  p[4] = kPropertyFlags;
  StoreLe(p + kPaddingField, 0, 2);
  StoreLe(p + kSendTimeField, sendTime, 4);
  StoreLe(p + 11, 0, 2);  // duration
  p[kPayloadFlagsField] = kPayloadLengthWord;
  m_used = kPacketHeaderSize;
  m_payloads = 0;
}

HRESULT AsfPacketWriter::Flush(AsfPacketSink& sink) {
  if (m_used == 0) return S_OK;
  std::uint8_t* p = m_packet.get();
  const std::size_t padding = m_packetSize - m_used;
  std::memset(p + m_used, 0, padding);
  StoreLe(p + kPaddingField, padding, 2);
  p[kPayloadFlagsField] = static_cast<std::uint8_t>(kPayloadLengthWord | m_payloads);
  m_used = 0;
  ++m_packets;
  return sink.WritePacket(p, m_packetSize);
}

HRESULT AsfPacketWriter::WriteObject(const AsfObject& object, const std::uint8_t* data, std::size_t size,
                                     AsfPacketSink& sink, std::uint64_t* firstPacket) {
  if (object.stream == 0 || object.stream > 127 || size > UINT32_MAX || (!data && size > 0)) return E_INVALIDARG;
  const std::uint8_t stream = object.stream;
  const std::uint8_t number = m_objectNumbers[stream]++;
  std::uint32_t presentationMs = m_lastPresentationMs[stream];
  if (object.presentationTime != kNoTime) {
    presentationMs = static_cast<std::uint32_t>(std::min<std::uint64_t>(object.presentationTime / 10000, UINT32_MAX));
    m_lastPresentationMs[stream] = presentationMs;
  }
  const std::uint32_t sendTime = SendTimeOf(object);

  std::size_t offset = 0;
  do {
    if (m_used != 0 && (m_payloads == kMaxPayloads || m_packetSize - m_used < kPayloadHeaderSize + 1)) {
      HRESULT hr = Flush(sink);
      if (FAILED(hr)) return hr;
    }
    if (m_used == 0) OpenPacket(std::max(sendTime, m_sendTime));
    if (offset == 0 && firstPacket) *firstPacket = m_packets;
    const std::size_t room = m_packetSize - m_used - kPayloadHeaderSize;
    const std::size_t take = std::min(room, size - offset);

    std::uint8_t* p = m_packet.get() + m_used;
    *p++ = static_cast<std::uint8_t>(stream | (object.keyFrame ? 0x80 : 0));
    *p++ = number;
    p = StoreLe(p, offset, 4);
    *p++ = static_cast<std::uint8_t>(kReplicatedDataSize);
    p = StoreLe(p, size, 4);
    p = StoreLe(p, presentationMs, 4);
    // Timing extension: 8 bytes we leave zero, the start time, and no second time.
    p = StoreLe(p, 0, 8);
    p = StoreLe(p, object.presentationTime, 8);
    p = StoreLe(p, kNoTime, 8);
    p = StoreLe(p, object.decodeTime, 8);
    p = StoreLe(p, take, 2);
    if (take > 0) std::memcpy(p, data + offset, take);
    m_used += kPayloadHeaderSize + take;
    ++m_payloads;
    offset += take;
  } while (offset < size);
  return S_OK;
}

}  // namespace asf
