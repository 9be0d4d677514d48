#include "platform/filters/TsDemuxEngine.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::uint8_t kSyncByte = 0x47;
}

TsDemuxEngine::TsDemuxEngine(IPesUnitSink& sink, std::size_t unitCapacity)
    : m_sink(sink), m_unitCapacity(unitCapacity) {
  m_slotOfPid.fill(kNoSlot);
}

HRESULT TsDemuxEngine::MapPid(std::uint16_t pid, std::size_t stream) {
  if (pid > kMaxPid) return E_INVALIDARG;
  const std::uint16_t existing = m_slotOfPid[pid];
  if (existing != kNoSlot) {
    if (m_slots[existing].assembler->Stream() == stream) return S_FALSE;
    UnmapPid(pid);
  }
  std::size_t slot = 0;
  while (slot < m_slots.size() && m_slots[slot].assembler) ++slot;
  if (slot == m_slots.size()) m_slots.emplace_back();
  m_slots[slot].pid = pid;
  m_slots[slot].lastCc = -1;
  m_slots[slot].assembler = std::make_unique<PesAssembler>(stream, m_unitCapacity);
  m_slotOfPid[pid] = static_cast<std::uint16_t>(slot);
  return S_OK;
}

HRESULT TsDemuxEngine::UnmapPid(std::uint16_t pid) {
  if (pid > kMaxPid) return E_INVALIDARG;
  const std::uint16_t slot = m_slotOfPid[pid];
  if (slot == kNoSlot) return S_FALSE;
  m_counters.invalidPesHeaders += m_slots[slot].assembler->InvalidHeaders();
  m_slots[slot].assembler.reset();
  m_slotOfPid[pid] = kNoSlot;
  return S_OK;
}

void TsDemuxEngine::UnmapStream(std::size_t stream) {
  for (const std::uint16_t pid : PidsOf(stream)) UnmapPid(pid);
}

std::vector<std::uint16_t> TsDemuxEngine::PidsOf(std::size_t stream) const {
  std::vector<std::uint16_t> pids;
  for (const PidSlot& slot : m_slots) {
    if (slot.assembler && slot.assembler->Stream() == stream) pids.push_back(slot.pid);
  }
  std::sort(pids.begin(), pids.end());
  return pids;
}

TsDemuxCounters TsDemuxEngine::Counters() const {
  TsDemuxCounters counters = m_counters;
  for (const PidSlot& slot : m_slots) {
    if (slot.assembler) counters.invalidPesHeaders += slot.assembler->InvalidHeaders();
  }
  return counters;
}

void TsDemuxEngine::Reset() {
  m_partialFill = 0;
  m_inSync = true;
  m_clock.Reset();
  for (PidSlot& slot : m_slots) {
    if (!slot.assembler) continue;
    slot.assembler->Reset();
    slot.lastCc = -1;
  }
}

HRESULT TsDemuxEngine::EndOfStream() {
  HRESULT result = S_OK;
  for (PidSlot& slot : m_slots) {
    if (!slot.assembler) continue;
    HRESULT hr = slot.assembler->Flush(m_sink, m_clock);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  m_partialFill = 0;
  return result;
}

std::size_t TsDemuxEngine::FindSync(const std::uint8_t* data, std::size_t size) const {
  // A sync byte counts when the next packet (if present) starts with one too.
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] != kSyncByte) continue;
    if (i + kPacketSize >= size || data[i + kPacketSize] == kSyncByte) return i;
  }
  return size;
}

HRESULT TsDemuxEngine::Push(const std::uint8_t* data, std::size_t size) {
  // Complete a packet split by the previous call.
  if (m_partialFill > 0) {
    const std::size_t take = std::min(size, kPacketSize - m_partialFill);
    std::memcpy(m_partial.data() + m_partialFill, data, take);
    m_partialFill += take;
    data += take;
    size -= take;
    if (m_partialFill < kPacketSize) return S_OK;
    m_partialFill = 0;
    HRESULT hr = ProcessPacket(m_partial.data());
    if (FAILED(hr)) return hr;
  }
  while (size > 0) {
    if (data[0] != kSyncByte) {
      if (m_inSync) ++m_counters.syncLosses;
      m_inSync = false;
      const std::size_t skip = FindSync(data, size);
      data += skip;
      size -= skip;
      continue;
    }
    // A sync byte followed by something else one packet later was data, not a packet start.
    if (size > kPacketSize && data[kPacketSize] != kSyncByte) {
      if (m_inSync) ++m_counters.syncLosses;
      m_inSync = false;
      const std::size_t skip = 1 + FindSync(data + 1, size - 1);
      data += skip;
      size -= skip;
      continue;
    }
    m_inSync = true;
    if (size < kPacketSize) {
      std::memcpy(m_partial.data(), data, size);
      m_partialFill = size;
      return S_OK;
    }
    HRESULT hr = ProcessPacket(data);
    if (FAILED(hr)) return hr;
    data += kPacketSize;
    size -= kPacketSize;
  }
  return S_OK;
}

HRESULT TsDemuxEngine::ProcessPacket(const std::uint8_t* packet) {
  ++m_counters.packets;
  const std::uint16_t pid = static_cast<std::uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
  const std::uint16_t slotIndex = m_slotOfPid[pid];
  if (slotIndex == kNoSlot) return S_OK;
  PidSlot& slot = m_slots[slotIndex];

  const bool transportError = (packet[1] & 0x80) != 0;
  const bool payloadStart = (packet[1] & 0x40) != 0;
  const std::uint8_t scrambling = packet[3] >> 6;
  const std::uint8_t adaptationControl = (packet[3] >> 4) & 0x3;
  const int cc = packet[3] & 0x0F;
  if (transportError) ++m_counters.transportErrors;
  if (adaptationControl == 0) {
    ++m_counters.badAdaptationFields;  // reserved value: nothing in the packet can be trusted
    return S_OK;
  }

  std::size_t payloadOffset = 4;
  bool discontinuityIndicator = false;
  if (adaptationControl & 0x2) {
    const std::size_t length = packet[4];
    // With a payload the field leaves room for at least one byte; without, it fills the packet.
    const std::size_t maxLength = (adaptationControl == 0x3) ? 182 : 183;
    if (length > maxLength) {
      ++m_counters.badAdaptationFields;
      return S_OK;
    }
    if (length > 0) discontinuityIndicator = (packet[5] & 0x80) != 0;
    payloadOffset = 5 + length;
  }
  const bool hasPayload = (adaptationControl & 0x1) != 0;

  // Continuity: the counter only advances on packets with a payload.
  if (hasPayload) {
    const int expected = (slot.lastCc + 1) & 0x0F;
    if (slot.lastCc >= 0 && cc == slot.lastCc && !discontinuityIndicator) {
      ++m_counters.duplicates;
      return S_OK;
    }
    if (slot.lastCc >= 0 && cc != expected) {
      if (!discontinuityIndicator) ++m_counters.continuityErrors;
      slot.assembler->MarkDiscontinuity();
    }
    slot.lastCc = cc;
  } else if (discontinuityIndicator) {
    slot.lastCc = -1;
  }
  if (discontinuityIndicator) slot.assembler->MarkDiscontinuity();
  if (!hasPayload || payloadOffset >= kPacketSize) return S_OK;
  if (scrambling != 0) {
    ++m_counters.scrambled;
    return S_OK;
  }

  const std::uint8_t* payload = packet + payloadOffset;
  const std::size_t payloadSize = kPacketSize - payloadOffset;
  return payloadStart ? slot.assembler->Start(payload, payloadSize, m_sink, m_clock)
                      : slot.assembler->Continue(payload, payloadSize, m_sink, m_clock);
}
