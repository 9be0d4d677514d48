#pragma once
// The Header Object of an ASF file, parsed from untrusted bytes: file properties, the streams
// (Stream Properties objects at the top level or inside an Extended Stream Properties object)
// with their payload extension systems, marks of protected content, and where each child object
// lies, so that a header can be rewritten with some objects replaced and the rest kept verbatim.
//
// Every size is checked against its parent before anything inside is read; counts in the file
// are never trusted beyond the bytes that are there. A malformed header gives a clear status.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/com/guid.h"
#include "platform/dshow/Errors.h"

namespace asf {

// Statuses of a file that cannot be read as a recording.
inline constexpr HRESULT kNotAsf = VFW_E_INVALID_FILE_FORMAT;        // no ASF header, or a damaged one
inline constexpr HRESULT kProtectedContent = E_ACCESSDENIED;         // DRM-protected streams
inline constexpr HRESULT kNoPlayableStream = VFW_E_UNSUPPORTED_STREAM;  // no MPEG-2 video, AC3 or MPEG audio

inline constexpr std::size_t kObjectHeaderSize = 24;
inline constexpr std::size_t kHeaderObjectFixedSize = 30;
inline constexpr std::uint64_t kMaxHeaderSize = 64u << 20;

struct AsfPayloadExtensionSystem {
  GUID id{};
  std::uint16_t size = 0;  // bytes in each payload's replicated data; 0xFFFF: WORD-prefixed
};

struct AsfStreamHeader {
  std::uint16_t number = 0;
  GUID type{};                             // ASF_Video_Media, ASF_Audio_Media, ASF_Binary_Media, ...
  std::vector<std::uint8_t> typeSpecific;  // the type-specific data, as stored
  bool encrypted = false;
  std::int64_t averageTimePerFrame = 0;    // 100 ns, from the Extended Stream Properties
  std::vector<AsfPayloadExtensionSystem> extensions;
};

struct AsfFileProperties {
  GUID fileId{};
  std::uint64_t fileSize = 0;
  std::uint64_t creationDate = 0;
  std::uint64_t packetCount = 0;
  std::uint64_t playDuration = 0;  // 100 ns, preroll included
  std::uint64_t sendDuration = 0;
  std::uint64_t prerollMs = 0;
  std::uint32_t flags = 0;  // bit 0 broadcast, bit 1 seekable
  std::uint32_t minPacketSize = 0;
  std::uint32_t maxPacketSize = 0;
  std::uint32_t maxBitrate = 0;
  bool Broadcast() const { return flags & 1; }
};

// Where an object lies in the header bytes (offset of its GUID, whole size).
struct AsfObjectSpan {
  GUID id{};
  std::size_t offset = 0;
  std::size_t size = 0;
};

struct AsfHeader {
  AsfFileProperties file;
  bool hasFileProperties = false;
  std::vector<AsfStreamHeader> streams;
  bool protectedContent = false;
  std::size_t size = 0;                      // the whole Header Object
  std::vector<AsfObjectSpan> children;       // the Header Object's children, in order
  std::vector<AsfObjectSpan> extensionChildren;  // the Header Extension's, in order
  std::size_t extensionIndex = SIZE_MAX;     // which child is the Header Extension

  const AsfStreamHeader* Stream(std::uint16_t number) const;
};

// Size of the Header Object that starts data[0..size) (at least kHeaderObjectFixedSize bytes),
// or 0 when the bytes do not start an ASF header.
std::uint64_t HeaderObjectSize(const std::uint8_t* data, std::size_t size);

// Parses a whole Header Object. kNotAsf when it is not one or is damaged.
HRESULT ParseAsfHeader(const std::uint8_t* data, std::size_t size, AsfHeader* header);

}  // namespace asf
