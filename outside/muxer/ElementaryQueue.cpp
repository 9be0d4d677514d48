#include "outside/muxer/ElementaryQueue.h"

#include <algorithm>
#include <cstring>

#include "outside/elementary/Ac3Header.h"
#include "outside/elementary/AdtsHeader.h"
#include "outside/elementary/MpegAudioHeader.h"
#include "platform/filters/StartCodeSearch.h"

namespace outside {
namespace {

std::size_t HeaderBytes(StreamKind kind) {
  switch (kind) {
    case StreamKind::Ac3Audio: return kAc3HeaderBytes;
    case StreamKind::AacAudio: return kAdtsHeaderBytes;
    default: return kMpegAudioHeaderBytes;
  }
}

bool IsSyncCandidate(StreamKind kind, const std::uint8_t* p) {
  if (kind == StreamKind::Ac3Audio) return p[0] == 0x0B && p[1] == 0x77;
  return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0;
}

}  // namespace

HRESULT ElementaryQueue::Init(StreamKind kind, std::size_t byteCapacity, std::size_t unitCapacity) {
  if (byteCapacity < 4096 || unitCapacity < 16) return E_INVALIDARG;
  *this = ElementaryQueue();
  m_kind = kind;
  m_bytes.assign(byteCapacity, 0);
  m_units.assign(unitCapacity, AccessUnit{});
  return S_OK;
}

bool ElementaryQueue::IsCrowded() const {
  const auto held = static_cast<std::size_t>(m_end - m_read);
  return held * 4 > m_bytes.size() * 3 || m_unitCount * 4 > m_units.size() * 3;
}

std::size_t ElementaryQueue::Append(const std::uint8_t* data, std::size_t size, std::int64_t pts,
                                    std::int64_t dts, bool continuesChunk) {
  if (m_ended || !data || size == 0 || m_bytes.empty()) return 0;
  if (static_cast<std::size_t>(m_end - m_base) + size > m_bytes.size() && m_read > m_base) {
    // Move the unsent bytes to the front; offsets stay absolute.
    const auto held = static_cast<std::size_t>(m_end - m_read);
    std::memmove(m_bytes.data(), Data(m_read), held);
    m_base = m_read;
  }
  const std::size_t room = m_bytes.size() - static_cast<std::size_t>(m_end - m_base);
  const std::size_t taken = std::min(room, size);
  if (taken == 0) return 0;
  std::memcpy(m_bytes.data() + (m_end - m_base), data, taken);

  if (pts != kNoTime && !continuesChunk) {
    PushStamp(Stamp{m_end, m_end + static_cast<std::int64_t>(taken), pts, dts == kNoTime ? pts : dts});
  } else if (continuesChunk && m_stampCount > 0) {
    Stamp& last = m_stamps[(m_stampHead + m_stampCount - 1) % kMaxStamps];
    if (last.end == m_end) last.end += static_cast<std::int64_t>(taken);
  }
  m_end += static_cast<std::int64_t>(taken);
  Scan();
  return taken;
}

void ElementaryQueue::PushStamp(const Stamp& stamp) {
  if (m_stampCount == kMaxStamps) {
    m_stampHead = (m_stampHead + 1) % kMaxStamps;
    --m_stampCount;
    ++m_droppedStamps;
  }
  m_stamps[(m_stampHead + m_stampCount) % kMaxStamps] = stamp;
  ++m_stampCount;
}

void ElementaryQueue::MarkEnded() {
  if (m_ended) return;
  Scan();
  m_droppedStamps += m_stampCount;
  m_stampCount = 0;
  m_ended = true;
}

void ElementaryQueue::Consume(std::size_t n) {
  m_read = std::min(m_read + static_cast<std::int64_t>(n), ScannedOffset());
  while (m_unitCount >= 2 && Unit(1).offset <= m_read) {
    m_unitHead = (m_unitHead + 1) % m_units.size();
    --m_unitCount;
  }
  if (m_unitCount == 1 && m_ended && m_read >= m_end) m_unitCount = 0;
  if (!m_ended) Scan();  // units freed may let a stalled scan go on
}

std::size_t ElementaryQueue::FirstUnitAtOrAfter(std::int64_t offset) const {
  // Units are few beyond the read position's; a linear walk from the oldest is short.
  std::size_t i = 0;
  while (i < m_unitCount && Unit(i).offset < offset) ++i;
  return i;
}

std::int64_t ElementaryQueue::ReadDts() const {
  // Consume keeps the unit holding the read position first (or the next unit, before any).
  return m_unitCount == 0 ? kNoTime : Unit(0).dts;
}

void ElementaryQueue::Scan() {
  if (m_ended) return;
  if (IsVideo(m_kind)) {
    ScanStartCodes();
  } else {
    ScanAudioFrames();
  }
}

// Finds 00 00 01 xx at or after m_scanned; stops where the code byte is not yet there.
void ElementaryQueue::ScanStartCodes() {
  const std::uint8_t* buf = m_bytes.data();
  const std::int64_t n = m_end - m_base;
  std::int64_t p = m_scanned - m_base;  // first position not known to start no code
  while (p + 3 < n) {
    p = static_cast<std::int64_t>(startcode::FindPrefix(buf, static_cast<std::size_t>(p), static_cast<std::size_t>(n - 3)));
    if (p + 3 >= n) break;
    if (m_unitCount == m_units.size()) break;  // no room to record: resume after sending
    OnStartCode(m_base + p, buf[p + 3]);
    p += 3;  // a code's own bytes start no other one
  }
  m_scanned = std::max(m_scanned, m_base + p);
}

void ElementaryQueue::OnStartCode(std::int64_t offset, std::uint8_t code) {
  if (m_kind == StreamKind::H264Video) {
    const int type = code & 0x1F;
    bool starts = false;
    if (type == 9) {
      starts = true;
      m_sawAud = true;
    } else if (!m_sawAud) {
      const bool vcl = type == 1 || type == 5;
      starts = m_unitCount == 0 || (m_afterVcl && (type == 6 || type == 7 || type == 8 || vcl));
      m_afterVcl = vcl;
    }
    if (type == 1 || type == 5) m_afterVcl = true;
    if (!starts) return;
    // A four-byte start code's leading zero belongs to the unit it starts.
    const std::int64_t floor = std::max(m_read, m_unitCount ? Unit(m_unitCount - 1).offset + 1 : m_read);
    if (offset - 1 >= floor && *Data(offset - 1) == 0) --offset;
    AddUnit(offset, nullptr);
    return;
  }
  // MPEG-1/2 video: a picture's unit begins at the sequence or GOP header that precedes it.
  if (code == 0xB3 || code == 0xB8) {
    if (!m_inHeaders) AddUnit(offset, nullptr);
    m_inHeaders = true;
  } else if (code == 0x00) {
    if (!m_inHeaders) AddUnit(offset, nullptr);
    m_inHeaders = false;
  }
}

bool ElementaryQueue::ParseFrameAt(std::int64_t offset, AudioFrameInfo& info) {
  const std::uint8_t* p = Data(offset);
  const auto avail = static_cast<std::size_t>(m_end - offset);
  switch (m_kind) {
    case StreamKind::Ac3Audio: return ParseAc3Header(p, avail, info);
    case StreamKind::AacAudio: return ParseAdtsHeader(p, avail, info);
    default: {
      MpegAudioHeader header;
      if (!ParseMpegAudioHeader(p, avail, header)) return false;
      info = header.info;
      if (m_mpegVersion == 0) m_mpegVersion = header.version;
      return true;
    }
  }
}

// Moves offset to the next place where a valid header starts; false when the bytes run out first
// (offset then rests where the search must resume).
bool ElementaryQueue::FindSyncFrom(std::int64_t& offset) {
  const auto need = static_cast<std::int64_t>(HeaderBytes(m_kind));
  AudioFrameInfo info;
  for (; offset + need <= m_end; ++offset) {
    if (IsSyncCandidate(m_kind, Data(offset)) && ParseFrameAt(offset, info)) return true;
  }
  return false;
}

void ElementaryQueue::ScanAudioFrames() {
  const auto need = static_cast<std::int64_t>(HeaderBytes(m_kind));
  while (m_nextFrame + need <= m_end) {
    if (m_unitCount == m_units.size()) break;
    AudioFrameInfo info;
    if (!ParseFrameAt(m_nextFrame, info) && !FindSyncFrom(m_nextFrame)) break;
    if (!ParseFrameAt(m_nextFrame, info)) break;
    AddUnit(m_nextFrame, &info);
    m_nextFrame += info.frameBytes;
  }
  m_scanned = std::max(m_scanned, std::min(m_nextFrame, m_end));
}

bool ElementaryQueue::AddUnit(std::int64_t offset, const AudioFrameInfo* frame) {
  if (m_unitCount == m_units.size()) return false;
  while (m_stampCount > 0 && m_stamps[m_stampHead].end <= offset) {
    m_stampHead = (m_stampHead + 1) % kMaxStamps;
    --m_stampCount;
    ++m_droppedStamps;  // no unit began inside that chunk
  }
  AccessUnit unit;
  unit.offset = offset;
  if (m_stampCount > 0 && m_stamps[m_stampHead].start <= offset) {
    const Stamp& stamp = m_stamps[m_stampHead];
    unit.pts = stamp.pts;
    unit.dts = stamp.dts;
    unit.stamped = true;
    m_stampHead = (m_stampHead + 1) % kMaxStamps;
    --m_stampCount;
  }
  if (frame) {
    if (m_firstFrame.sampleRate == 0) m_firstFrame = *frame;
    if (!unit.stamped && m_basePts != kNoTime && m_rate != 0) {
      // Counted from the base each time, so rounding never accumulates.
      unit.pts = m_basePts + static_cast<std::int64_t>(m_samplesSinceBase * kClock90k / m_rate);
    }
    if (unit.stamped || frame->sampleRate != m_rate) {
      m_basePts = unit.pts;
      m_samplesSinceBase = 0;
      m_rate = frame->sampleRate;
    }
    m_samplesSinceBase += frame->samples;
    unit.dts = unit.pts;
  }
  if (unit.dts == kNoTime) unit.dts = m_lastDts;
  m_lastDts = unit.dts;
  if (unit.stamped && m_firstDts == kNoTime) m_firstDts = unit.dts;
  m_units[(m_unitHead + m_unitCount) % m_units.size()] = unit;
  ++m_unitCount;
  return true;
}

}  // namespace outside
