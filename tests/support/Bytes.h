#pragma once
// Byte containers shared by the stream builders.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

inline constexpr size_t kPacketSize = 188;
inline constexpr uint8_t kSyncByte = 0x47;
using Packet = std::array<uint8_t, kPacketSize>;

inline void Append(Bytes& to, std::span<const uint8_t> from) { to.insert(to.end(), from.begin(), from.end()); }

// Text as raw bytes (names may carry control bytes such as 0x86/0x87).
inline Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline void AppendBe16(Bytes& to, uint16_t v) {
  to.push_back(static_cast<uint8_t>(v >> 8));
  to.push_back(static_cast<uint8_t>(v));
}

inline void AppendBe32(Bytes& to, uint32_t v) {
  AppendBe16(to, static_cast<uint16_t>(v >> 16));
  AppendBe16(to, static_cast<uint16_t>(v));
}

}  // namespace testsupport
