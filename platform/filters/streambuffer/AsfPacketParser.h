#pragma once
// Parses one ASF data packet from untrusted bytes: error correction data, payload parsing
// information (any length types), a single payload or several, compressed payloads (one
// replicated byte: a run of whole small objects sharing a time base), padding. Every field is
// checked against the bytes of the packet; payloads are handed out as they are found, pointing
// into the packet, and nothing is copied or allocated.
#include <cstddef>
#include <cstdint>

#include "platform/com/hresult.h"

namespace asf {

struct AsfPayload {
  std::uint8_t stream = 0;  // 1..127
  bool keyFrame = false;
  std::uint32_t objectNumber = 0;
  std::uint32_t offset = 0;      // of these bytes in their media object
  std::uint32_t objectSize = 0;  // the whole media object
  bool hasPresentationTime = false;
  std::uint32_t presentationMs = 0;  // preroll included
  const std::uint8_t* replicated = nullptr;  // replicated data after its first 8 bytes
  std::size_t replicatedSize = 0;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

class AsfPayloadSink {
 public:
  // A failure stops the parse and is returned from it.
  virtual HRESULT OnPayload(const AsfPayload& payload) = 0;

 protected:
  ~AsfPayloadSink() = default;
};

struct AsfPacketInfo {
  std::uint32_t sendTime = 0;
  unsigned payloads = 0;
};

// S_OK when the whole packet was parsed; kDamagedPacket when it is malformed (the payloads
// before the damage have been handed out).
inline constexpr HRESULT kDamagedPacket = S_FALSE;
HRESULT ParseAsfPacket(const std::uint8_t* packet, std::size_t size, AsfPayloadSink& sink, AsfPacketInfo* info = nullptr);

}  // namespace asf
