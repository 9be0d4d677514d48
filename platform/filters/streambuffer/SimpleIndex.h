#pragma once
// The Simple Index Object of a video stream: for every interval of presentation time (preroll
// not counted) from 0, the packet holding the latest key frame at or before that time and the
// number of packets the key frame spans. SimpleIndexBuilder collects the key frames while a
// recording is written; SimpleIndex reads an index back (bounds-checked) for seeking.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/com/guid.h"

namespace asf {

inline constexpr std::uint64_t kIndexInterval = 10'000'000;  // 1 s in 100-ns units

class SimpleIndexBuilder {
 public:
  SimpleIndexBuilder() { m_keyFrames.reserve(4096); }
  void Clear() { m_keyFrames.clear(); }
  // time: presentation time without preroll (100 ns); packets first..last hold the key frame.
  void AddKeyFrame(std::uint64_t time, std::uint64_t firstPacket, std::uint64_t lastPacket);
  bool Empty() const { return m_keyFrames.empty(); }
  // The whole object; entries run up to `endTime` (100 ns, preroll not counted).
  std::vector<std::uint8_t> Build(const GUID& fileId, std::uint64_t endTime) const;

 private:
  struct KeyFrame {
    std::uint64_t time;
    std::uint32_t packet;
    std::uint16_t count;
  };
  std::vector<KeyFrame> m_keyFrames;
};

class SimpleIndex {
 public:
  // Parses a Simple Index Object (the whole object, header included); false when malformed.
  bool Parse(const std::uint8_t* data, std::size_t size);
  bool Empty() const { return m_packets.empty(); }
  std::uint64_t Interval() const { return m_interval; }
  // The packet to start reading at for presentation time `time` (100 ns, preroll not counted).
  std::uint32_t PacketFor(std::uint64_t time) const;

 private:
  std::uint64_t m_interval = kIndexInterval;
  std::vector<std::uint32_t> m_packets;
};

}  // namespace asf
