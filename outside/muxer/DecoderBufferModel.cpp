#include "outside/muxer/DecoderBufferModel.h"

#include <algorithm>

namespace outside {

void DecoderBufferModel::Init(std::int64_t capacityBytes, std::size_t maxUnits) {
  m_capacity = capacityBytes;
  m_entries.assign(std::max<std::size_t>(maxUnits, 1), Entry{});
  m_head = m_count = 0;
  m_sent = m_removed = 0;
}

void DecoderBufferModel::OnUnitSent(std::int64_t startOffset, std::int64_t dts) {
  if (m_count == m_entries.size()) PopFront();  // more units than tracked: treat the oldest as gone
  m_entries[(m_head + m_count) % m_entries.size()] = Entry{startOffset, dts};
  ++m_count;
}

void DecoderBufferModel::OnBytesSent(std::int64_t endOffset) { m_sent = std::max(m_sent, endOffset); }

void DecoderBufferModel::PopFront() {
  m_head = (m_head + 1) % m_entries.size();
  --m_count;
  m_removed = m_count > 0 ? At(0).start : m_sent;
}

void DecoderBufferModel::RemoveDecoded(std::int64_t time) {
  while (m_count > 0 && At(0).dts < time) PopFront();
}

std::int64_t DecoderBufferModel::TimeWithRoom(std::int64_t now, std::int64_t bytes, bool lastUnitComplete) const {
  if (Occupancy() + bytes <= m_capacity) return now;
  std::int64_t when = now;
  const std::size_t poppable = lastUnitComplete ? m_count : (m_count > 0 ? m_count - 1 : 0);
  for (std::size_t i = 0; i < poppable; ++i) {
    when = std::max(when, At(i).dts + 1);  // a unit is gone just after its decode time
    const std::int64_t removed = i + 1 < m_count ? At(i + 1).start : m_sent;
    if (m_sent - removed + bytes <= m_capacity) return when;
  }
  return now;
}

}  // namespace outside
