#include "platform/filters/streambuffer/DecodeOrderTimes.h"

#include <cstring>

#include "platform/filters/streambuffer/StreamMediaTypes.h"

namespace asf {
namespace {
constexpr std::uint8_t kPicture = 0x00;
constexpr std::uint8_t kSequence = 0xB3;
constexpr std::uint8_t kGroup = 0xB8;
constexpr int kIntraCoded = 1;
}  // namespace

void DecodeOrderTimes::Reset(const std::vector<std::uint8_t>& sequenceHeader) {
  SequenceHeaderInfo info;
  m_frameDuration = 0;
  m_lowDelay = false;
  if (ParseSequenceHeader(sequenceHeader.data(), sequenceHeader.size(), &info)) {
    m_frameDuration = info.frameDuration;
    m_lowDelay = info.lowDelay;
  }
  m_sawGopHeaders = false;
  m_groupPending = true;
  m_groupStart = 0;
}

bool DecodeOrderTimes::PresentationTime(const std::uint8_t* data, std::size_t size, std::int64_t decode,
                                        std::int64_t* presentation) {
  for (std::size_t i = 0; i + 4 <= size; ++i) {
    const void* found = std::memchr(data + i + 2, 0x01, size - i - 2);
    if (!found) return false;
    const std::size_t one = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
    i = one - 2;
    if (data[i] != 0 || data[i + 1] != 0 || one + 1 >= size) continue;
    const std::uint8_t code = data[one + 1];
    if (code == kSequence) {
      SequenceHeaderInfo info;
      if (ParseSequenceHeader(data + i, size - i, &info)) {
        if (info.frameDuration > 0) m_frameDuration = info.frameDuration;
        m_lowDelay = info.lowDelay;
      }
    } else if (code == kGroup) {
      m_sawGopHeaders = true;
      m_groupPending = true;
    } else if (code == kPicture && one + 3 < size) {
      // picture_header: temporal_reference (10 bits), picture_coding_type (3 bits).
      const unsigned temporalReference = (unsigned{data[one + 2]} << 2) | (data[one + 3] >> 6);
      const int type = (data[one + 3] >> 3) & 0x07;
      if (m_groupPending || (!m_sawGopHeaders && type == kIntraCoded)) {
        m_groupStart = decode;
        m_groupPending = false;
      }
      if (m_frameDuration <= 0) return false;
      *presentation = m_groupStart + (std::int64_t{temporalReference} + (m_lowDelay ? 0 : 1)) * m_frameDuration;
      return true;
    }
  }
  return false;
}

}  // namespace asf
