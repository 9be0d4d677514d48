#include "outside/muxer/ProgramStreamWriter.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "outside/muxer/PesHeader.h"

namespace outside {
namespace {

constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMaxRateUnits = (1 << 22) - 1;
constexpr std::size_t kAc3SubHeaderBytes = 4;
constexpr std::size_t kPaddingHeaderBytes = 6;
constexpr std::size_t kMaxPesStuffing = 32;

bool IsAc3(StreamKind kind) { return kind == StreamKind::Ac3Audio; }

}  // namespace

bool ProgramStreamWriter::AcceptsKind(StreamKind kind) const {
  return kind != StreamKind::H264Video && kind != StreamKind::AacAudio;
}

bool ProgramStreamWriter::IsReady(const Stream& stream) const {
  return stream.queue.Sendable() >= static_cast<std::int64_t>(kPackBytes);
}

void ProgramStreamWriter::OnStreamAdded(std::size_t index) {
  const bool video = IsVideo(m_streams[index].info.kind);
  m_ps[index].buffer.Init(video ? m_settings.videoBufferBytes : m_settings.audioBufferBytes, 8192);
}

void ProgramStreamWriter::Prepare() {
  int video = 0, mpegAudio = 0, ac3 = 0;
  for (std::size_t i = 0; i < m_streams.size(); ++i) {
    const StreamKind kind = m_streams[i].info.kind;
    PsStream& ps = m_ps[i];
    if (IsVideo(kind)) {
      ps.streamId = static_cast<std::uint8_t>(0xE0 + (video++ & 0x0F));
    } else if (IsAc3(kind)) {
      ps.streamId = 0xBD;
      ps.subStreamId = static_cast<std::uint8_t>(0x80 + (ac3++ & 0x07));
    } else {
      ps.streamId = static_cast<std::uint8_t>(0xC0 + (mpegAudio++ & 0x1F));
    }
  }
  m_rateUnits = std::clamp<std::int64_t>((m_settings.muxRateBits + 399) / 400, 1, kMaxRateUnits);
  m_catchUpUnits = std::min(m_rateUnits * 4, kMaxRateUnits);
  m_prepared = true;
}

std::size_t ProgramStreamWriter::SystemHeaderBytes() const {
  std::size_t entries = 0;
  bool privateListed = false;
  for (const Stream& stream : m_streams) {
    if (IsAc3(stream.info.kind)) {
      if (privateListed) continue;
      privateListed = true;
    }
    ++entries;
  }
  return 12 + 3 * entries;
}

bool ProgramStreamWriter::PlanPack(std::size_t index, bool withSystemHeader, PackPlan& plan) const {
  const ElementaryQueue& q = m_streams[index].queue;
  const std::int64_t sendable = q.Sendable();
  if (sendable <= 0) return false;
  const StreamKind kind = m_streams[index].info.kind;
  const auto budget = static_cast<std::int64_t>(kPackBytes - kPackHeaderBytes -
                                                (withSystemHeader ? SystemHeaderBytes() : 0) - kPesFixedBytes -
                                                (IsAc3(kind) ? kAc3SubHeaderBytes : 0));
  const std::int64_t read = q.ReadOffset();
  const std::int64_t limit = read + std::min(budget, sendable);
  std::int64_t end = limit;
  plan = PackPlan{};

  // The times of a PES packet belong to the first unit that starts in it.
  const std::size_t first = q.FirstUnitAtOrAfter(read);
  if (first < q.UnitCount() && q.Unit(first).offset < limit && q.Unit(first).pts != kNoTime) {
    const AccessUnit& unit = q.Unit(first);
    const auto timeBytes = static_cast<std::int64_t>(PesTimeBytes(unit.pts, unit.dts));
    if (unit.offset < read + budget - timeBytes) {
      plan.pts = unit.pts;
      plan.dts = unit.dts;
      end = std::min(limit, read + budget - timeBytes);
      // A second stamped picture would lose its times: it starts the next pack instead.
      if (IsVideo(kind)) {
        for (std::size_t i = first + 1; i < q.UnitCount() && q.Unit(i).offset < end; ++i) {
          if (q.Unit(i).stamped) {
            end = q.Unit(i).offset;
            break;
          }
        }
      }
    } else {
      end = unit.offset;  // no room for its times here: the unit starts the next pack
    }
  }
  plan.payload = static_cast<std::size_t>(end - read);
  if (IsAc3(kind)) {
    for (std::size_t i = first; i < q.UnitCount() && q.Unit(i).offset < end; ++i) {
      if (plan.frames == 0) plan.firstFrame = static_cast<std::size_t>(q.Unit(i).offset - read) + 1;
      ++plan.frames;
    }
  }
  return plan.payload > 0;
}

bool ProgramStreamWriter::EmitOne() {
  if (!m_prepared) Prepare();
  EnsureOffset();
  const bool withSystemHeader = m_packs == 0;
  const std::int64_t now27 = m_nextScr27;
  const std::int64_t now = now27 / 300;

  int best = -1;
  PackPlan bestPlan;
  std::int64_t bestReady = kNever;
  std::int64_t bestDeadline = kNever;
  for (std::size_t i = 0; i < m_streams.size(); ++i) {
    const Stream& stream = m_streams[i];
    if (!(stream.queue.Ended() || IsReady(stream) || stream.queue.IsCrowded())) continue;
    PackPlan plan;
    if (!PlanPack(i, withSystemHeader, plan)) continue;
    const std::int64_t dts = stream.queue.ReadDts();
    const std::int64_t deadline = dts == kNoTime ? kNever : OutputTime(dts);
    DecoderBufferModel& buffer = m_ps[i].buffer;
    buffer.RemoveDecoded(now);
    std::int64_t ready = now27;
    if (deadline != kNever) ready = std::max(ready, (deadline - kMaxDelay) * 300);
    const std::size_t next = stream.queue.FirstUnitAtOrAfter(stream.queue.ReadOffset());
    const bool atUnitStart =
        next < stream.queue.UnitCount() && stream.queue.Unit(next).offset == stream.queue.ReadOffset();
    ready = std::max(ready, buffer.TimeWithRoom(now, static_cast<std::int64_t>(plan.payload), atUnitStart) * 300);
    if (ready < bestReady || (ready == bestReady && deadline < bestDeadline)) {
      best = static_cast<int>(i);
      bestPlan = plan;
      bestReady = ready;
      bestDeadline = deadline;
    }
  }
  if (best < 0) return false;

  std::int64_t rate = m_rateUnits;
  std::int64_t packTime = TransferTime27(kPackBytes, rate * 400);
  if (bestDeadline != kNever && bestReady + packTime > bestDeadline * 300) {
    rate = m_catchUpUnits;
    packTime = TransferTime27(kPackBytes, rate * 400);
    if (bestReady + packTime > bestDeadline * 300) ++m_lateUnits;
  }
  WritePack(static_cast<std::size_t>(best), bestPlan, bestReady, rate);
  m_nextScr27 = bestReady + packTime;
  return true;
}

std::uint8_t* ProgramStreamWriter::WritePackHeader(std::uint8_t* p, std::int64_t scr27, std::int64_t rateUnits) const {
  const auto base = static_cast<std::uint64_t>((scr27 / 300) & kTimestampMask);
  const auto ext = static_cast<std::uint32_t>(scr27 % 300);
  const auto rate = static_cast<std::uint32_t>(rateUnits);
  p[0] = 0;
  p[1] = 0;
  p[2] = 1;
  p[3] = 0xBA;
  p[4] = static_cast<std::uint8_t>(0x44 | ((base >> 27) & 0x38) | ((base >> 28) & 0x03));
  p[5] = static_cast<std::uint8_t>(base >> 20);
  p[6] = static_cast<std::uint8_t>(((base >> 12) & 0xF8) | 0x04 | ((base >> 13) & 0x03));
  p[7] = static_cast<std::uint8_t>(base >> 5);
  p[8] = static_cast<std::uint8_t>(((base << 3) & 0xF8) | 0x04 | ((ext >> 7) & 0x03));
  p[9] = static_cast<std::uint8_t>(((ext << 1) & 0xFE) | 1);
  p[10] = static_cast<std::uint8_t>(rate >> 14);
  p[11] = static_cast<std::uint8_t>(rate >> 6);
  p[12] = static_cast<std::uint8_t>(((rate << 2) & 0xFC) | 0x03);
  p[13] = 0xF8;  // reserved, no pack stuffing
  return p + kPackHeaderBytes;
}

std::uint8_t* ProgramStreamWriter::WriteSystemHeader(std::uint8_t* p) const {
  const std::size_t total = SystemHeaderBytes();
  int audio = 0, video = 0;
  for (const Stream& stream : m_streams) (IsVideo(stream.info.kind) ? video : audio)++;
  const auto bound = static_cast<std::uint32_t>(m_catchUpUnits);
  p[0] = 0;
  p[1] = 0;
  p[2] = 1;
  p[3] = 0xBB;
  p[4] = static_cast<std::uint8_t>((total - 6) >> 8);
  p[5] = static_cast<std::uint8_t>(total - 6);
  p[6] = static_cast<std::uint8_t>(0x80 | (bound >> 15));
  p[7] = static_cast<std::uint8_t>(bound >> 7);
  p[8] = static_cast<std::uint8_t>((bound << 1) | 1);
  p[9] = static_cast<std::uint8_t>((std::min(audio, 32) << 2));  // not fixed rate, not CSPS
  p[10] = static_cast<std::uint8_t>(0x20 | std::min(video, 16));  // no locks, marker
  p[11] = 0x7F;
  std::uint8_t* e = p + 12;
  bool privateListed = false;
  for (std::size_t i = 0; i < m_streams.size(); ++i) {
    const bool video = IsVideo(m_streams[i].info.kind);
    std::int64_t size = m_ps[i].buffer.Capacity();
    if (IsAc3(m_streams[i].info.kind)) {
      if (privateListed) continue;
      privateListed = true;
    }
    // Video sizes in KiB (scale 1), audio in units of 128 bytes (scale 0).
    const auto units = static_cast<std::uint32_t>(std::min<std::int64_t>(video ? (size + 1023) / 1024 : (size + 127) / 128, 0x1FFF));
    e[0] = m_ps[i].streamId;
    e[1] = static_cast<std::uint8_t>(0xC0 | (video ? 0x20 : 0) | (units >> 8));
    e[2] = static_cast<std::uint8_t>(units);
    e += 3;
  }
  return e;
}

void ProgramStreamWriter::WritePack(std::size_t index, const PackPlan& plan, std::int64_t scr27,
                                    std::int64_t rateUnits) {
  std::uint8_t* const pack = m_out.Reserve(kPackBytes);
  if (!pack) return;
  ElementaryQueue& q = m_streams[index].queue;
  PsStream& ps = m_ps[index];
  const bool ac3 = IsAc3(m_streams[index].info.kind);

  std::uint8_t* p = WritePackHeader(pack, scr27, rateUnits);
  if (m_packs == 0) p = WriteSystemHeader(p);
  const std::int64_t pts = OutputTime(plan.pts);
  const std::int64_t dts = OutputTime(plan.dts);
  const std::size_t headerBytes = kPesFixedBytes + PesTimeBytes(pts, dts);
  const std::size_t body = (ac3 ? kAc3SubHeaderBytes : 0) + plan.payload;
  std::size_t gap = kPackBytes - static_cast<std::size_t>(p - pack) - headerBytes - body;
  // A gap too small for a padding packet becomes stuffing in the PES header.
  const std::size_t stuffing = gap < kPaddingHeaderBytes ? std::min(gap, kMaxPesStuffing) : 0;
  gap -= stuffing;
  const std::size_t pesLength = headerBytes - 6 + stuffing + body;
  p += WritePesHeader(p, ps.streamId, pesLength, false, pts, dts, stuffing);
  if (ac3) {
    p[0] = ps.subStreamId;
    p[1] = static_cast<std::uint8_t>(std::min<std::size_t>(plan.frames, 255));
    p[2] = static_cast<std::uint8_t>(plan.firstFrame >> 8);
    p[3] = static_cast<std::uint8_t>(plan.firstFrame);
    p += kAc3SubHeaderBytes;
  }
  const std::int64_t read = q.ReadOffset();
  std::memcpy(p, q.Data(read), plan.payload);
  p += plan.payload;
  if (gap > 0) {
    const std::size_t padding = gap - kPaddingHeaderBytes;
    p[0] = 0;
    p[1] = 0;
    p[2] = 1;
    p[3] = 0xBE;
    p[4] = static_cast<std::uint8_t>(padding >> 8);
    p[5] = static_cast<std::uint8_t>(padding);
    std::memset(p + kPaddingHeaderBytes, 0xFF, padding);
  }
  m_out.Commit(kPackBytes);
  ++m_packs;

  // The receiver's view: these bytes entered at the pack's SCR.
  DecoderBufferModel& buffer = ps.buffer;
  buffer.RemoveDecoded(scr27 / 300);
  const std::int64_t end = read + static_cast<std::int64_t>(plan.payload);
  for (std::size_t i = q.FirstUnitAtOrAfter(read); i < q.UnitCount() && q.Unit(i).offset < end; ++i) {
    buffer.OnUnitSent(q.Unit(i).offset, OutputTime(q.Unit(i).dts));
  }
  buffer.OnBytesSent(end);
  q.Consume(plan.payload);
}

void ProgramStreamWriter::EmitEnd() {
  if (std::uint8_t* p = m_out.Reserve(4)) {
    p[0] = 0;
    p[1] = 0;
    p[2] = 1;
    p[3] = 0xB9;
    m_out.Commit(4);
  }
}

}  // namespace outside
