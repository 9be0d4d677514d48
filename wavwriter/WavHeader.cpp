#include "wavwriter/WavHeader.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr WORD kWaveFormatAc3 = 0x2000;

// Field offsets inside a WAVEFORMATEX.
constexpr std::size_t kFormatTagOffset = 0;
constexpr std::size_t kChannelsOffset = 2;
constexpr std::size_t kAvgBytesPerSecOffset = 8;

void PutTag(BYTE* at, const char (&tag)[5]) { std::memcpy(at, tag, 4); }

void PutLe16(BYTE* at, WORD value) {
  at[0] = static_cast<BYTE>(value);
  at[1] = static_cast<BYTE>(value >> 8);
}

void PutLe32(BYTE* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}

void CorrectFormat(std::span<BYTE> format, const Ac3FrameHeader& frame) {
  if (format.size() >= kFormatTagOffset + 2) PutLe16(&format[kFormatTagOffset], kWaveFormatAc3);
  if (format.size() >= kChannelsOffset + 2) PutLe16(&format[kChannelsOffset], frame.ChannelCount());
  if (format.size() >= kAvgBytesPerSecOffset + 4) {
    PutLe32(&format[kAvgBytesPerSecOffset], frame.BitRateKbps() / 8 * 1000);
  }
}
}  // namespace

HRESULT WavHeader::Build(std::span<const BYTE> format, std::uint32_t dataBytes, const Ac3FrameHeader& firstFrame,
                         std::span<BYTE> out) {
  if (format.size() > kMaxFormatBytes) return E_INVALIDARG;
  const auto formatBytes = static_cast<std::uint32_t>(format.size());
  const std::uint64_t headerBytes = std::uint64_t{formatBytes} + kFixedBytes;
  if (out.size() != headerBytes) return E_INVALIDARG;
  if (headerBytes + dataBytes > UINT32_MAX) return E_INVALIDARG;

  BYTE* p = out.data();
  PutTag(p, "RIFF");
  PutLe32(p + 4, static_cast<std::uint32_t>(headerBytes + dataBytes - 8));
  PutTag(p + 8, "WAVE");
  PutTag(p + 12, "fmt ");
  PutLe32(p + 16, formatBytes);
  std::copy(format.begin(), format.end(), p + 20);
  if (firstFrame.frmsizecod != 0) CorrectFormat(out.subspan(20, formatBytes), firstFrame);
  PutTag(p + 20 + formatBytes, "data");
  PutLe32(p + 24 + formatBytes, dataBytes);
  return S_OK;
}
