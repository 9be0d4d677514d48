#include "outside/muxer/TransportStreamWriter.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "outside/elementary/Crc32Mpeg.h"
#include "outside/muxer/PesHeader.h"

namespace outside {
namespace {

constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kPsiInterval27 = 27000000 / 10;
constexpr std::int64_t kPcrInterval27 = 27000000 * 35 / 1000;
constexpr std::size_t kMaxAudioPesPayload = 65535 - 13;
constexpr std::size_t kPcrFieldBytes = 8;  // adaptation field length, flags, six PCR bytes

}  // namespace

std::uint8_t TransportStreamWriter::StreamType(StreamKind kind, int mpegAudioVersion) {
  switch (kind) {
    case StreamKind::Mpeg1Video: return 0x01;
    case StreamKind::Mpeg2Video: return 0x02;
    case StreamKind::H264Video: return 0x1B;
    case StreamKind::MpegAudio: return mpegAudioVersion > 1 ? 0x04 : 0x03;
    case StreamKind::AacAudio: return 0x0F;
    case StreamKind::Ac3Audio: return 0x81;
  }
  return 0x06;
}

void TransportStreamWriter::Prepare() {
  int video = 0, audio = 0;
  m_pcrPid = 0;
  for (std::size_t i = 0; i < m_streams.size(); ++i) {
    const StreamKind kind = m_streams[i].info.kind;
    TsStream& ts = m_ts[i];
    ts.pid = static_cast<std::uint16_t>(kFirstStreamPid + i);
    if (IsVideo(kind)) {
      ts.streamId = static_cast<std::uint8_t>(0xE0 + (video++ & 0x0F));
      if (m_pcrPid == 0) m_pcrPid = ts.pid;
    } else if (kind == StreamKind::Ac3Audio) {
      ts.streamId = 0xBD;
    } else {
      ts.streamId = static_cast<std::uint8_t>(0xC0 + (audio++ & 0x1F));
    }
  }
  if (m_pcrPid == 0) m_pcrPid = kFirstStreamPid;
  m_prepared = true;
}

bool TransportStreamWriter::PesEnd(const ElementaryQueue& q, std::int64_t& end) const {
  const std::int64_t read = q.ReadOffset();
  if (q.Sendable() <= 0) return false;
  std::size_t i = q.FirstUnitAtOrAfter(read);
  if (i < q.UnitCount() && q.Unit(i).offset == read) ++i;  // the unit at read is this PES's
  else if (i < q.UnitCount()) ++i;                          // leading bytes travel with the next unit
  if (i < q.UnitCount()) {
    end = q.Unit(i).offset;
  } else if (q.Ended() || q.IsCrowded()) {
    end = q.ScannedOffset();
  } else {
    return false;
  }
  if (!IsVideo(q.Kind())) end = std::min(end, read + static_cast<std::int64_t>(kMaxAudioPesPayload));
  return end > read;
}

bool TransportStreamWriter::IsReady(const Stream& stream) const {
  std::int64_t end = 0;
  return PesEnd(stream.queue, end);
}

bool TransportStreamWriter::EmitOne() {
  if (!m_prepared) Prepare();
  EnsureOffset();
  int best = -1;
  std::int64_t bestEnd = 0;
  std::int64_t bestDeadline = kNever;
  for (std::size_t i = 0; i < m_streams.size(); ++i) {
    std::int64_t end = 0;
    if (!PesEnd(m_streams[i].queue, end)) continue;
    const std::int64_t dts = m_streams[i].queue.ReadDts();
    const std::int64_t deadline = dts == kNoTime ? kNever : OutputTime(dts);
    if (best < 0 || deadline < bestDeadline) {
      best = static_cast<int>(i);
      bestEnd = end;
      bestDeadline = deadline;
    }
  }
  if (best < 0) return false;
  const std::int64_t deadline27 = bestDeadline == kNever ? kNever : bestDeadline * 300;
  if (deadline27 != kNever) JumpClockTo(deadline27 - kMaxDelay * 300);
  WritePes(static_cast<std::size_t>(best), bestEnd, deadline27);
  return true;
}

void TransportStreamWriter::JumpClockTo(std::int64_t target27) {
  if (target27 <= m_clock27) return;
  // Across a short gap the PCR keeps its pace with packets of its own; a long gap (a break in the
  // input's times) is jumped at once.
  if (m_lastPcr27 >= 0 && target27 - m_clock27 < 27000000) {
    while (target27 - m_lastPcr27 > kPcrInterval27 && SUCCEEDED(m_out.Status())) {
      m_clock27 = std::max(m_clock27, m_lastPcr27 + kPcrInterval27);
      WritePacket(m_pcrPid, m_ts[m_pcrPid - kFirstStreamPid].continuity, false, true, nullptr, 0);
      AdvanceClock(kNever);
    }
  }
  m_clock27 = std::max(m_clock27, target27);
}

void TransportStreamWriter::AdvanceClock(std::int64_t deadline27) {
  const std::int64_t nominal = TransferTime27(kPacketBytes, m_settings.muxRateBits);
  if (deadline27 != kNever && m_clock27 + nominal > deadline27) {
    m_clock27 += TransferTime27(kPacketBytes, m_settings.muxRateBits * 4);
  } else {
    m_clock27 += nominal;
  }
}

bool TransportStreamWriter::WritePacket(std::uint16_t pid, std::uint8_t& continuity, bool unitStart, bool withPcr,
                                        const std::uint8_t* payload, std::size_t payloadBytes) {
  std::uint8_t* p = m_out.Reserve(kPacketBytes);
  if (!p) return false;
  const bool hasPayload = payloadBytes > 0;
  const std::size_t adaptation = kPacketBytes - 4 - payloadBytes;  // bytes left for the adaptation field
  p[0] = 0x47;
  p[1] = static_cast<std::uint8_t>((unitStart ? 0x40 : 0) | (pid >> 8));
  p[2] = static_cast<std::uint8_t>(pid);
  p[3] = static_cast<std::uint8_t>((adaptation > 0 ? 0x20 : 0) | (hasPayload ? 0x10 : 0) | (continuity & 0x0F));
  if (hasPayload) continuity = static_cast<std::uint8_t>((continuity + 1) & 0x0F);
  std::uint8_t* a = p + 4;
  if (adaptation > 0) {
    a[0] = static_cast<std::uint8_t>(adaptation - 1);
    if (adaptation > 1) {
      a[1] = withPcr ? 0x10 : 0x00;
      std::size_t used = 2;
      if (withPcr) {
        const auto base = static_cast<std::uint64_t>((m_clock27 / 300) & kTimestampMask);
        const auto ext = static_cast<std::uint32_t>(m_clock27 % 300);
        a[2] = static_cast<std::uint8_t>(base >> 25);
        a[3] = static_cast<std::uint8_t>(base >> 17);
        a[4] = static_cast<std::uint8_t>(base >> 9);
        a[5] = static_cast<std::uint8_t>(base >> 1);
        a[6] = static_cast<std::uint8_t>(((base & 1) << 7) | 0x7E | (ext >> 8));
        a[7] = static_cast<std::uint8_t>(ext);
        used = kPcrFieldBytes;
        m_lastPcr27 = m_clock27;
      }
      std::memset(a + used, 0xFF, adaptation - used);
    }
  }
  if (hasPayload) std::memcpy(p + 4 + adaptation, payload, payloadBytes);
  m_out.Commit(kPacketBytes);
  return true;
}

void TransportStreamWriter::WriteSection(std::uint16_t pid, std::uint8_t& continuity, const std::uint8_t* section,
                                         std::size_t size) {
  std::uint8_t payload[kPacketBytes - 4];
  payload[0] = 0;  // pointer_field
  std::memcpy(payload + 1, section, size);
  std::memset(payload + 1 + size, 0xFF, sizeof(payload) - 1 - size);
  WritePacket(pid, continuity, true, false, payload, sizeof(payload));
  AdvanceClock(kNever);
}

std::size_t TransportStreamWriter::BuildPat(std::uint8_t* s) const {
  const std::size_t length = 5 + 4 + 4;  // header rest, one program, CRC
  s[0] = 0x00;
  s[1] = static_cast<std::uint8_t>(0xB0 | (length >> 8));
  s[2] = static_cast<std::uint8_t>(length);
  s[3] = 0x00;  // transport_stream_id 1
  s[4] = 0x01;
  s[5] = 0xC1;  // version 0, current
  s[6] = 0x00;
  s[7] = 0x00;
  s[8] = static_cast<std::uint8_t>(kProgramNumber >> 8);
  s[9] = static_cast<std::uint8_t>(kProgramNumber);
  s[10] = static_cast<std::uint8_t>(0xE0 | (kPmtPid >> 8));
  s[11] = static_cast<std::uint8_t>(kPmtPid);
  const std::uint32_t crc = Crc32Mpeg(s, 12);
  s[12] = static_cast<std::uint8_t>(crc >> 24);
  s[13] = static_cast<std::uint8_t>(crc >> 16);
  s[14] = static_cast<std::uint8_t>(crc >> 8);
  s[15] = static_cast<std::uint8_t>(crc);
  return 16;
}

std::size_t TransportStreamWriter::BuildPmt(std::uint8_t* s) const {
  s[0] = 0x02;
  s[3] = static_cast<std::uint8_t>(kProgramNumber >> 8);
  s[4] = static_cast<std::uint8_t>(kProgramNumber);
  s[5] = 0xC1;
  s[6] = 0x00;
  s[7] = 0x00;
  s[8] = static_cast<std::uint8_t>(0xE0 | (m_pcrPid >> 8));
  s[9] = static_cast<std::uint8_t>(m_pcrPid);
  s[10] = 0xF0;  // no program descriptors
  s[11] = 0x00;
  std::uint8_t* p = s + 12;
  for (std::size_t i = 0; i < m_streams.size(); ++i) {
    const Stream& stream = m_streams[i];
    p[0] = StreamType(stream.info.kind, stream.queue.MpegAudioVersion());
    p[1] = static_cast<std::uint8_t>(0xE0 | (m_ts[i].pid >> 8));
    p[2] = static_cast<std::uint8_t>(m_ts[i].pid);
    std::uint8_t* d = p + 5;
    if (stream.info.kind == StreamKind::Ac3Audio) {
      const std::uint8_t registration[6] = {0x05, 0x04, 'A', 'C', '-', '3'};
      std::memcpy(d, registration, sizeof(registration));
      d += sizeof(registration);
    }
    if (stream.info.language[0] != 0) {
      d[0] = 0x0A;
      d[1] = 4;
      std::memcpy(d + 2, stream.info.language, 3);
      d[5] = 0;  // audio_type undefined
      d += 6;
    }
    const auto infoLength = static_cast<std::size_t>(d - (p + 5));
    p[3] = static_cast<std::uint8_t>(0xF0 | (infoLength >> 8));
    p[4] = static_cast<std::uint8_t>(infoLength);
    p = d;
  }
  const auto length = static_cast<std::size_t>(p - s) - 3 + 4;
  s[1] = static_cast<std::uint8_t>(0xB0 | (length >> 8));
  s[2] = static_cast<std::uint8_t>(length);
  const std::uint32_t crc = Crc32Mpeg(s, static_cast<std::size_t>(p - s));
  p[0] = static_cast<std::uint8_t>(crc >> 24);
  p[1] = static_cast<std::uint8_t>(crc >> 16);
  p[2] = static_cast<std::uint8_t>(crc >> 8);
  p[3] = static_cast<std::uint8_t>(crc);
  return static_cast<std::size_t>(p + 4 - s);
}

void TransportStreamWriter::WritePsi() {
  std::uint8_t section[kPacketBytes];
  WriteSection(0, m_patContinuity, section, BuildPat(section));
  WriteSection(kPmtPid, m_pmtContinuity, section, BuildPmt(section));
  m_nextPsi27 = m_clock27 + kPsiInterval27;
}

void TransportStreamWriter::WritePes(std::size_t index, std::int64_t end, std::int64_t deadline27) {
  ElementaryQueue& q = m_streams[index].queue;
  TsStream& ts = m_ts[index];
  const std::int64_t read = q.ReadOffset();
  const auto payloadBytes = static_cast<std::size_t>(end - read);
  std::int64_t pts = kNoTime, dts = kNoTime;
  const std::size_t first = q.FirstUnitAtOrAfter(read);
  if (first < q.UnitCount() && q.Unit(first).offset < end) {
    pts = OutputTime(q.Unit(first).pts);
    dts = OutputTime(q.Unit(first).dts);
  }
  const std::size_t headerBytes = kPesFixedBytes + PesTimeBytes(pts, dts);
  std::size_t length = headerBytes - 6 + payloadBytes;
  if (length > 0xFFFF) length = 0;  // only video PES get this long: unbounded
  const std::size_t written =
      WritePesHeader(m_pesHeader, ts.streamId, length, first < q.UnitCount() && q.Unit(first).offset == read, pts,
                     pts == kNoTime ? kNoTime : dts, 0);

  const std::uint8_t* data = q.Data(read);
  std::size_t headerLeft = written;
  std::size_t dataLeft = payloadBytes;
  bool unitStart = true;
  bool late = false;
  while ((headerLeft > 0 || dataLeft > 0) && SUCCEEDED(m_out.Status())) {
    if (m_clock27 >= m_nextPsi27) WritePsi();
    const bool pcrDue = m_lastPcr27 < 0 || m_clock27 - m_lastPcr27 >= kPcrInterval27;
    const bool withPcr = pcrDue && ts.pid == m_pcrPid;
    if (pcrDue && !withPcr) {
      std::uint8_t& cc = m_ts[m_pcrPid - kFirstStreamPid].continuity;
      WritePacket(m_pcrPid, cc, false, true, nullptr, 0);
      AdvanceClock(deadline27);
    }
    std::size_t room = kPacketBytes - 4 - (withPcr ? kPcrFieldBytes : 0);
    std::uint8_t packet[kPacketBytes];
    std::size_t filled = 0;
    const std::size_t fromHeader = std::min(headerLeft, room);
    std::memcpy(packet, m_pesHeader + (written - headerLeft), fromHeader);
    headerLeft -= fromHeader;
    filled += fromHeader;
    room -= fromHeader;
    const std::size_t fromData = std::min(dataLeft, room);
    std::memcpy(packet + filled, data + (payloadBytes - dataLeft), fromData);
    dataLeft -= fromData;
    filled += fromData;
    WritePacket(ts.pid, ts.continuity, unitStart, withPcr, packet, filled);
    unitStart = false;
    late = late || (deadline27 != kNever && m_clock27 > deadline27);
    AdvanceClock(deadline27);
  }
  if (late) ++m_lateUnits;
  q.Consume(payloadBytes);
}

}  // namespace outside
