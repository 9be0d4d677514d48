#pragma once
// Cuts media objects into fixed-size ASF data packets. A packet holds as many payloads as fit
// (at most 63), each a fragment of one media object with the replicated data the recording
// header declares (object size, presentation time in ms, then the timing and decode-time
// extensions); an object larger than the room left continues in the next packets. A packet is
// emitted when the next payload header does not fit, and padded with zeros.
//
// Packet layout: error correction 82 00 00; length type flags 0x11 (several payloads, WORD
// padding length); property flags 0x5D (BYTE replicated length, DWORD offset, BYTE object
// number, BYTE stream number); padding length; send time (ms); duration; payload flags
// (WORD payload lengths, count). Send times never decrease.
//
// The packet buffer is allocated once; writing an object allocates nothing.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/com/hresult.h"

namespace asf {

struct AsfObject {
  std::uint8_t stream = 0;
  bool keyFrame = false;
  std::uint64_t presentationTime = ~std::uint64_t{0};  // 100 ns, preroll included; all ones: none
  std::uint64_t decodeTime = ~std::uint64_t{0};
};

class AsfPacketSink {
 public:
  virtual HRESULT WritePacket(const std::uint8_t* packet, std::size_t size) = 0;

 protected:
  ~AsfPacketSink() = default;
};

class AsfPacketWriter {
 public:
  static constexpr std::size_t kPacketHeaderSize = 14;
  static constexpr std::size_t kPayloadHeaderSize = 49;
  static constexpr unsigned kMaxPayloads = 63;

  AsfPacketWriter(std::uint32_t packetSize, std::uint32_t prerollMs);

  // Back to an empty data object (a recording discarded before it started).
  void Reset();
  // Writes the object's fragments; *firstPacket (may be null) is the number of the packet that
  // holds its first byte.
  HRESULT WriteObject(const AsfObject& object, const std::uint8_t* data, std::size_t size, AsfPacketSink& sink,
                      std::uint64_t* firstPacket = nullptr);
  // Emits the packet being filled, if it holds anything.
  HRESULT Flush(AsfPacketSink& sink);

  std::uint32_t PacketSize() const { return m_packetSize; }
  std::uint64_t PacketCount() const { return m_packets; }
  // The number of the last packet holding data (the open one, if any).
  std::uint64_t CurrentPacket() const { return m_used != 0 ? m_packets : (m_packets > 0 ? m_packets - 1 : 0); }
  // The send time of the last packet (ms).
  std::uint32_t LastSendTime() const { return m_sendTime; }

 private:
  void OpenPacket(std::uint32_t sendTime);
  std::uint32_t SendTimeOf(const AsfObject& object) const;

  std::uint32_t m_packetSize;
  std::uint32_t m_prerollMs;
  std::unique_ptr<std::uint8_t[]> m_packet;
  std::size_t m_used = 0;  // 0: no packet open
  unsigned m_payloads = 0;
  std::uint64_t m_packets = 0;
  std::uint32_t m_sendTime = 0;
  std::uint8_t m_objectNumbers[128] = {};
  std::uint32_t m_lastPresentationMs[128] = {};
};

}  // namespace asf
