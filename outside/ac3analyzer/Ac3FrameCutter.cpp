#include "outside/ac3analyzer/Ac3FrameCutter.h"

#include <algorithm>
#include <cstring>

namespace outside {
namespace {
constexpr std::int64_t kUnitsPerSecond = 10000000;
}

void Ac3FrameCutter::Reset() {
  m_have = 0;
  m_need = 0;
  m_frameStamped = false;
  m_haveBase = false;
  m_samplesSinceBase = 0;
  m_rate = 0;
  m_discontinuity = true;
}

void Ac3FrameCutter::DropFirstBytes(std::size_t n) {
  n = std::min(n, m_have);
  std::memmove(m_frame, m_frame + n, m_have - n);
  m_have -= n;
  m_skipped += n;
  m_need = 0;
  m_frameStamped = false;  // the stamp belonged to a frame that turned out not to be one
}

HRESULT Ac3FrameCutter::Push(const std::uint8_t* data, std::size_t size, bool hasTime, std::int64_t time,
                             Ac3FrameSink& sink) {
  if (!data && size > 0) return E_POINTER;
  bool stampPending = hasTime;
  std::size_t at = 0;
  while (at < size || (m_have > 0 && m_need == 0 && m_have >= kAc3HeaderBytes)) {
    if (m_have == 0) {
      // Look for the first sync byte; everything before it is skipped.
      const auto* sync = static_cast<const std::uint8_t*>(std::memchr(data + at, 0x0B, size - at));
      const std::size_t found = sync ? static_cast<std::size_t>(sync - data) : size;
      m_skipped += found - at;
      at = found;
      if (at == size) break;
      m_frameStamped = stampPending;
      m_frameStamp = time;
      stampPending = false;
    }
    if (m_need == 0) {
      const std::size_t take = std::min(kAc3HeaderBytes - std::min(m_have, kAc3HeaderBytes), size - at);
      std::memcpy(m_frame + m_have, data + at, take);
      m_have += take;
      at += take;
      if (m_have < kAc3HeaderBytes) break;
      if (!ParseAc3Header(m_frame, m_have, m_info) || m_info.frameBytes < kAc3HeaderBytes ||
          m_info.frameBytes > kAc3MaxFrameBytes) {
        // Not a frame: search again from the byte after the false sync, within what is held.
        const bool stamped = m_frameStamped;
        const auto* next = static_cast<const std::uint8_t*>(std::memchr(m_frame + 1, 0x0B, m_have - 1));
        DropFirstBytes(next ? static_cast<std::size_t>(next - m_frame) : m_have);
        // A stamp taken by the false start still belongs to the next frame of this chunk.
        if (m_have > 0) m_frameStamped = stamped;
        else stampPending = stampPending || stamped;
        continue;
      }
      m_need = m_info.frameBytes;
    }
    const std::size_t take = std::min(m_need - m_have, size - at);
    std::memcpy(m_frame + m_have, data + at, take);
    m_have += take;
    at += take;
    if (m_have < m_need) break;

    if (m_frameStamped || !m_haveBase || m_info.sampleRate != m_rate) {
      m_baseTime = m_frameStamped ? m_frameStamp
                   : m_haveBase   ? m_baseTime + static_cast<std::int64_t>(m_samplesSinceBase * kUnitsPerSecond / m_rate)
                                  : 0;
      m_haveBase = true;
      m_samplesSinceBase = 0;
      m_rate = m_info.sampleRate;
    }
    const std::int64_t start = m_baseTime + static_cast<std::int64_t>(m_samplesSinceBase * kUnitsPerSecond / m_rate);
    m_samplesSinceBase += m_info.samples;
    const std::int64_t stop = m_baseTime + static_cast<std::int64_t>(m_samplesSinceBase * kUnitsPerSecond / m_rate);
    const HRESULT hr = sink.OnFrame(m_frame, m_need, start, stop, m_discontinuity);
    m_discontinuity = false;
    ++m_frames;
    m_have = 0;
    m_need = 0;
    m_frameStamped = false;
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace outside
