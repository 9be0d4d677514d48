#pragma once
// DecoderBufferModel: the receiver's buffer for one stream of a program stream. Bytes enter when
// their pack is sent; an access unit leaves whole at its decode time. The multiplexer asks when a
// pack of a given size fits without overflowing the declared buffer size.
//
// Times are 90 kHz ticks in the output's time line and only move forward (RemoveDecoded).
#include <cstdint>
#include <vector>

namespace outside {

class DecoderBufferModel {
 public:
  void Init(std::int64_t capacityBytes, std::size_t maxUnits);

  void OnUnitSent(std::int64_t startOffset, std::int64_t dts);  // a unit's first byte went out
  void OnBytesSent(std::int64_t endOffset);                      // stream bytes sent so far
  void RemoveDecoded(std::int64_t time);                         // units with dts < time leave

  std::int64_t Occupancy() const { return m_sent - m_removed; }
  std::int64_t Capacity() const { return m_capacity; }
  // Earliest time >= now at which bytes more fit. The unit sent last is waited for only when it is
  // complete (lastUnitComplete): otherwise it is the one being sent, perhaps larger than the
  // buffer, and when waiting cannot help the answer is now (the overflow is accepted).
  std::int64_t TimeWithRoom(std::int64_t now, std::int64_t bytes, bool lastUnitComplete) const;

 private:
  struct Entry {
    std::int64_t start, dts;
  };
  const Entry& At(std::size_t i) const { return m_entries[(m_head + i) % m_entries.size()]; }
  void PopFront();

  std::int64_t m_capacity = 0;
  std::vector<Entry> m_entries;
  std::size_t m_head = 0;
  std::size_t m_count = 0;
  std::int64_t m_sent = 0;
  std::int64_t m_removed = 0;
};

}  // namespace outside
