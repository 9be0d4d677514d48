#include "platform/filters/streambuffer/AsfPacketParser.h"

#include "platform/filters/streambuffer/AsfBytes.h"

namespace asf {
namespace {

struct PacketLayout {
  unsigned replicatedType = 0;
  unsigned offsetType = 0;
  unsigned objectType = 0;
  unsigned payloadLengthType = 0;  // with several payloads
  bool multiple = false;
};

// One payload (or, compressed, a run of whole objects) at the cursor; `end` bounds its data.
HRESULT ParsePayload(AsfCursor& in, const PacketLayout& layout, std::size_t payloadEnd, AsfPayloadSink& sink) {
  AsfPayload payload;
  const std::uint8_t streamByte = in.U8();
  payload.stream = streamByte & 0x7F;
  payload.keyFrame = (streamByte & 0x80) != 0;
  payload.objectNumber = in.Sized(layout.objectType);
  payload.offset = in.Sized(layout.offsetType);
  const std::uint32_t replicated = in.Sized(layout.replicatedType);
  const bool compressed = replicated == 1;
  std::uint8_t timeDelta = 0;
  if (compressed) {
    timeDelta = in.U8();
  } else if (replicated >= 8) {
    payload.objectSize = in.U32();
    payload.presentationMs = in.U32();
    payload.hasPresentationTime = true;
    payload.replicatedSize = replicated - 8;
    payload.replicated = in.Bytes(payload.replicatedSize);
  } else {
    in.Skip(replicated);  // too short to hold the object size: no object to join
  }
  std::size_t length = 0;
  if (layout.multiple) {
    length = in.Sized(layout.payloadLengthType);
  } else {
    length = in.Position() <= payloadEnd ? payloadEnd - in.Position() : 0;
  }
  if (!in.Ok() || in.Position() > payloadEnd || length > payloadEnd - in.Position()) return kDamagedPacket;
  AsfCursor data = in.Child(length);

  if (!compressed) {
    if (replicated < 8) return S_OK;
    payload.data = data.Here();
    payload.size = length;
    return payload.size > 0 ? sink.OnPayload(payload) : S_OK;
  }
  // Compressed: the offset field holds the presentation time; the data is BYTE-length-prefixed
  // whole objects, one time delta apart.
  const std::uint32_t base = payload.offset;
  payload.offset = 0;
  payload.hasPresentationTime = true;
  for (std::uint32_t i = 0; !data.AtEnd(); ++i) {
    const std::uint8_t subSize = data.U8();
    const std::uint8_t* bytes = data.Bytes(subSize);
    if (!data.Ok()) return kDamagedPacket;
    if (subSize == 0) continue;
    payload.presentationMs = base + i * timeDelta;
    payload.objectSize = subSize;
    payload.data = bytes;
    payload.size = subSize;
    HRESULT hr = sink.OnPayload(payload);
    if (hr != S_OK) return hr;
    ++payload.objectNumber;
  }
  return S_OK;
}

}  // namespace

HRESULT ParseAsfPacket(const std::uint8_t* packet, std::size_t size, AsfPayloadSink& sink, AsfPacketInfo* info) {
  if (!packet && size > 0) return E_POINTER;
  AsfCursor in(packet, size);
  std::uint8_t first = in.U8();
  if (first & 0x80) {
    // Error correction data: its length in the low four bits; length type bits must be zero.
    if (first & 0x60) return kDamagedPacket;
    in.Skip(first & 0x0F);
    first = in.U8();
  }
  const std::uint8_t lengthFlags = first;
  const std::uint8_t propertyFlags = in.U8();
  PacketLayout layout;
  layout.multiple = lengthFlags & 0x01;
  const unsigned sequenceType = (lengthFlags >> 1) & 3;
  const unsigned paddingType = (lengthFlags >> 3) & 3;
  const unsigned packetLengthType = (lengthFlags >> 5) & 3;
  layout.replicatedType = propertyFlags & 3;
  layout.offsetType = (propertyFlags >> 2) & 3;
  layout.objectType = (propertyFlags >> 4) & 3;
  const std::uint32_t packetLength = in.Sized(packetLengthType);
  in.Sized(sequenceType);
  const std::uint32_t padding = in.Sized(paddingType);
  const std::uint32_t sendTime = in.U32();
  in.U16();  // duration
  if (!in.Ok()) return kDamagedPacket;

  // A packet length shorter than the packet leaves the rest as padding.
  const std::size_t length = packetLengthType != 0 && packetLength > 0 ? packetLength : size;
  if (length > size || padding > length || in.Position() > length - padding) return kDamagedPacket;
  const std::size_t payloadEnd = length - padding;
  if (info) {
    info->sendTime = sendTime;
    info->payloads = 0;
  }

  unsigned count = 1;
  if (layout.multiple) {
    const std::uint8_t payloadFlags = in.U8();
    count = payloadFlags & 0x3F;
    layout.payloadLengthType = (payloadFlags >> 6) & 3;
    if (!in.Ok() || layout.payloadLengthType == 0) return kDamagedPacket;
  }
  for (unsigned i = 0; i < count; ++i) {
    if (in.Position() >= payloadEnd) return kDamagedPacket;
    const HRESULT hr = ParsePayload(in, layout, payloadEnd, sink);
    if (hr != S_OK) return hr;
    if (info) ++info->payloads;
  }
  return S_OK;
}

}  // namespace asf
