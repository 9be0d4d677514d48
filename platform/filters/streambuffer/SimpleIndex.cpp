#include "platform/filters/streambuffer/SimpleIndex.h"

#include <algorithm>

#include "platform/filters/streambuffer/AsfBytes.h"
#include "platform/filters/streambuffer/AsfGuids.h"

namespace asf {
namespace {
constexpr std::size_t kIndexHeaderSize = 56;
constexpr std::size_t kEntrySize = 6;
// An index of more entries than this (about 18 days at one a second) is not believed.
constexpr std::uint32_t kMaxEntries = 1'600'000;
}  // namespace

void SimpleIndexBuilder::AddKeyFrame(std::uint64_t time, std::uint64_t firstPacket, std::uint64_t lastPacket) {
  if (firstPacket > UINT32_MAX) return;
  const std::uint64_t count = lastPacket >= firstPacket ? lastPacket - firstPacket + 1 : 1;
  // Key frames arrive in decode order, which for key frames is presentation order; one that
  // goes back in time (a discontinuity) restarts the list from it.
  while (!m_keyFrames.empty() && m_keyFrames.back().time > time) m_keyFrames.pop_back();
  m_keyFrames.push_back({time, static_cast<std::uint32_t>(firstPacket), static_cast<std::uint16_t>(std::min<std::uint64_t>(count, 0xFFFF))});
}

std::vector<std::uint8_t> SimpleIndexBuilder::Build(const GUID& fileId, std::uint64_t endTime) const {
  AsfBuilder out;
  if (m_keyFrames.empty()) return {};
  const std::uint64_t entries = std::min<std::uint64_t>(endTime / kIndexInterval + 1, kMaxEntries);
  const std::size_t start = out.BeginObject(kSimpleIndexObject);
  out.Guid(fileId);
  out.U64(kIndexInterval);
  std::uint16_t maxCount = 0;
  for (const KeyFrame& k : m_keyFrames) maxCount = std::max(maxCount, k.count);
  out.U32(maxCount);
  out.U32(static_cast<std::uint32_t>(entries));
  std::size_t next = 0;  // the first key frame later than the entry's time
  for (std::uint64_t i = 0; i < entries; ++i) {
    const std::uint64_t time = i * kIndexInterval;
    while (next < m_keyFrames.size() && m_keyFrames[next].time <= time) ++next;
    const KeyFrame& k = m_keyFrames[next == 0 ? 0 : next - 1];
    out.U32(k.packet);
    out.U16(k.count);
  }
  out.EndObject(start);
  return std::move(out.Bytes());
}

bool SimpleIndex::Parse(const std::uint8_t* data, std::size_t size) {
  m_packets.clear();
  AsfCursor in(data, size);
  if (in.Guid() != kSimpleIndexObject) return false;
  const std::uint64_t objectSize = in.U64();
  in.Guid();  // file id
  const std::uint64_t interval = in.U64();
  in.U32();   // maximum packet count
  const std::uint32_t count = in.U32();
  if (!in.Ok() || objectSize > size || objectSize < kIndexHeaderSize || interval == 0 || count > kMaxEntries ||
      count > (objectSize - kIndexHeaderSize) / kEntrySize) {
    return false;
  }
  m_interval = interval;
  m_packets.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    m_packets[i] = in.U32();
    in.U16();
  }
  if (!in.Ok()) m_packets.clear();
  return !m_packets.empty();
}

std::uint32_t SimpleIndex::PacketFor(std::uint64_t time) const {
  if (m_packets.empty()) return 0;
  const std::uint64_t entry = std::min<std::uint64_t>(time / m_interval, m_packets.size() - 1);
  return m_packets[entry];
}

}  // namespace asf
