#include "platform/filters/ProgramStreamTimeline.h"

#include <algorithm>

#include "platform/dshow/Errors.h"
#include "platform/filters/PesHeader.h"

namespace {

constexpr std::int64_t kClockWrap = std::int64_t{1} << 33;
constexpr int kEdgeWindows = 8;        // windows searched for time stamps at either end
constexpr int kBacktrackWindows = 128;  // how far back a clean start is looked for (8 MiB)
constexpr std::int64_t kPrecision = 2048;

bool IsStartCode(const std::uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

std::size_t NextStartCode(const std::uint8_t* data, std::size_t size, std::size_t from) {
  for (std::size_t i = from; i + 3 <= size; ++i) {
    if (IsStartCode(data + i)) return i;
  }
  return size;
}

// Decoding can begin at any audio packet, and at a video packet with a clean start in it.
bool BeginsCleanly(const std::uint8_t* es, std::size_t size, PsStreamKind kind) {
  const bool video = kind == PsStreamKind::Mpeg1Video || kind == PsStreamKind::Mpeg2Video || kind == PsStreamKind::H264Video;
  return !video || FindCleanStart(es, size, kind) < size;
}

// Calls visit(packOffset, packetOffset, timestamp, payload, payloadSize) for each packet of stream
// `key` with a time stamp whose pack starts inside the window, in order, until visit returns false.
template <typename Visit>
void ForEachTimedPacket(const std::uint8_t* window, std::size_t size, std::uint32_t key, Visit visit) {
  std::size_t pos = NextStartCode(window, size, 0);
  std::int64_t pack = -1;
  while (size - pos >= 4) {
    bool invalid = false;
    const std::size_t unit = PsUnitSize(window + pos, size - pos, &invalid);
    if (invalid) {
      pos = NextStartCode(window, size, pos + 1);
      continue;
    }
    if (unit == 0 || unit > size - pos) return;
    const std::uint8_t id = window[pos + 3];
    if (id == 0xBA) {
      pack = static_cast<std::int64_t>(pos);
    } else if (pack >= 0 && (id == 0xBD || (id >= 0xC0 && id <= 0xEF))) {
      PesHeader header;
      PsPayload payload;
      if (ParsePesHeader(window + pos, unit, &header) == PesParse::Ok && header.hasPts &&
          LocatePsPayload(window + pos, unit, header.payloadOffset, &payload) && payload.key == key) {
        if (!visit(pack, static_cast<std::int64_t>(pos), header.dts, window + pos + payload.offset, payload.size)) return;
      }
    }
    pos += unit;
  }
}

}  // namespace

ProgramStreamTimeline::ProgramStreamTimeline() : m_window(new std::uint8_t[kWindow]) {}

std::int64_t ProgramStreamTimeline::TicksFromStart(std::int64_t timestamp) const {
  std::int64_t d = (timestamp - static_cast<std::int64_t>(m_first)) % kClockWrap;
  if (d < 0) d += kClockWrap;
  // A little before the first (audio ahead of video, reordering) stays a little before.
  if (d >= kClockWrap - kClockWrap / 4) d -= kClockWrap;
  return d;
}

HRESULT ProgramStreamTimeline::Measure(IAsyncReader* reader, std::uint32_t key, PsStreamKind kind) {
  m_measured = false;
  m_key = key;
  m_kind = kind;
  LONGLONG total = 0, available = 0;
  HRESULT hr = reader->Length(&total, &available);
  if (FAILED(hr)) return hr;
  m_length = total;

  bool found = false;
  for (int i = 0; i < kEdgeWindows && !found; ++i) {
    const std::int64_t offset = static_cast<std::int64_t>(i) * static_cast<std::int64_t>(kWindow);
    if (offset >= m_length) break;
    const LONG size = static_cast<LONG>(std::min<std::int64_t>(kWindow, m_length - offset));
    if (reader->SyncRead(offset, size, m_window.get()) != S_OK) break;
    ForEachTimedPacket(m_window.get(), static_cast<std::size_t>(size), key, [&](std::int64_t, std::int64_t, std::uint64_t ts, auto, auto) {
      m_first = ts;
      found = true;
      return false;
    });
  }
  if (!found) return VFW_E_NO_TIME_FORMAT_SET;

  std::int64_t last = 0;
  bool foundLast = false;
  for (int i = 1; i <= kEdgeWindows && !foundLast; ++i) {
    const std::int64_t offset = std::max<std::int64_t>(0, m_length - static_cast<std::int64_t>(i * kWindow));
    const LONG size = static_cast<LONG>(std::min<std::int64_t>(kWindow, m_length - offset));
    if (reader->SyncRead(offset, size, m_window.get()) != S_OK) break;
    ForEachTimedPacket(m_window.get(), static_cast<std::size_t>(size), key, [&](std::int64_t, std::int64_t, std::uint64_t ts, auto, auto) {
      last = std::max(last, TicksFromStart(static_cast<std::int64_t>(ts)));
      foundLast = true;
      return true;
    });
    if (offset == 0) break;
  }
  m_duration = last;
  m_measured = true;
  return S_OK;
}

HRESULT ProgramStreamTimeline::ProbeAt(IAsyncReader* reader, std::int64_t offset, Probe* probe) {
  *probe = Probe{};
  if (offset >= m_length) return S_OK;
  const LONG size = static_cast<LONG>(std::min<std::int64_t>(kWindow, m_length - offset));
  const HRESULT hr = reader->SyncRead(offset, size, m_window.get());
  if (FAILED(hr)) return hr;
  if (hr != S_OK) return S_OK;  // the stream ended early: nothing found here
  ForEachTimedPacket(m_window.get(), static_cast<std::size_t>(size), m_key,
                     [&](std::int64_t pack, std::int64_t, std::uint64_t ts, const std::uint8_t* es, std::size_t esSize) {
                       probe->found = true;
                       probe->ticks = TicksFromStart(static_cast<std::int64_t>(ts));
                       probe->pack = offset + pack;
                       probe->cleanStart = BeginsCleanly(es, esSize, m_kind);
                       return false;
                     });
  return S_OK;
}

HRESULT ProgramStreamTimeline::Bisect(IAsyncReader* reader, std::int64_t ticks, std::int64_t* lo, std::int64_t* hi) {
  *lo = 0;
  *hi = m_length;
  while (*hi - *lo > kPrecision) {
    const std::int64_t mid = *lo + (*hi - *lo) / 2;
    Probe probe;
    const HRESULT hr = ProbeAt(reader, mid, &probe);
    if (FAILED(hr)) return hr;
    if (probe.found && probe.ticks <= ticks) {
      *lo = mid;
    } else {
      *hi = mid;
    }
  }
  return S_OK;
}

HRESULT ProgramStreamTimeline::StartOffset(IAsyncReader* reader, std::int64_t ticks, std::int64_t* offset) {
  *offset = 0;
  if (!m_measured) return VFW_E_WRONG_STATE;
  if (ticks <= 0) return S_OK;
  std::int64_t lo = 0, hi = 0;
  HRESULT hr = Bisect(reader, ticks, &lo, &hi);
  if (FAILED(hr)) return hr;
  Probe at;
  hr = ProbeAt(reader, lo, &at);
  if (FAILED(hr)) return hr;
  if (!at.found) return S_OK;
  // Back from there to the last clean start at or before it.
  const std::int64_t limit = at.pack;
  for (int i = 0; i < kBacktrackWindows; ++i) {
    // Windows overlap by half, so that a pack cut by one window's edge is whole in the next.
    const std::int64_t half = static_cast<std::int64_t>(kWindow / 2);
    const std::int64_t from = std::max<std::int64_t>(0, limit + half - (i + 2) * half);
    const LONG size = static_cast<LONG>(std::min<std::int64_t>(kWindow, m_length - from));
    hr = reader->SyncRead(from, size, m_window.get());
    if (FAILED(hr)) return hr;
    std::int64_t clean = -1;
    ForEachTimedPacket(m_window.get(), static_cast<std::size_t>(size), m_key,
                       [&](std::int64_t pack, std::int64_t, std::uint64_t ts, const std::uint8_t* es, std::size_t esSize) {
                         if (from + pack > limit) return false;
                         // A later packet of the same pack may already be past the time.
                         if (TicksFromStart(static_cast<std::int64_t>(ts)) > ticks) return false;
                         if (BeginsCleanly(es, esSize, m_kind)) clean = from + pack;
                         return true;
                       });
    if (clean >= 0) {
      *offset = clean;
      return S_OK;
    }
    if (from == 0) return S_OK;
  }
  *offset = limit;  // no clean start near: start where the time is
  return S_OK;
}

HRESULT ProgramStreamTimeline::StopOffset(IAsyncReader* reader, std::int64_t ticks, std::int64_t* offset) {
  *offset = m_length;
  if (!m_measured) return VFW_E_WRONG_STATE;
  if (ticks >= m_duration) return S_OK;
  std::int64_t lo = 0, hi = 0;
  HRESULT hr = Bisect(reader, ticks, &lo, &hi);
  if (FAILED(hr)) return hr;
  // The first packet past the time, from where the bisection ended: delivery ends before it,
  // even inside a pack (MPEG-1 packs often hold several packets).
  for (std::int64_t from = lo; from < m_length; from += static_cast<std::int64_t>(kWindow / 2)) {
    const LONG size = static_cast<LONG>(std::min<std::int64_t>(kWindow, m_length - from));
    hr = reader->SyncRead(from, size, m_window.get());
    if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    bool found = false;
    ForEachTimedPacket(m_window.get(), static_cast<std::size_t>(size), m_key,
                       [&](std::int64_t, std::int64_t packet, std::uint64_t ts, auto, auto) {
                         if (TicksFromStart(static_cast<std::int64_t>(ts)) <= ticks) return true;
                         *offset = from + packet;
                         found = true;
                         return false;
                       });
    if (found) return S_OK;
  }
  return S_OK;
}
