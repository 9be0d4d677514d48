#include "outside/muxer/MultiplexWriter.h"

#include <algorithm>

namespace outside {

HRESULT MultiplexWriter::Open(ByteSink* sink, const MuxSettings& settings) {
  if (!sink) return E_POINTER;
  if (m_open || settings.muxRateBits <= 0) return E_INVALIDARG;
  m_settings = settings;
  m_out.Init(sink, settings.outputBlockBytes);
  m_streams.reserve(kMaxStreams);
  m_open = true;
  return S_OK;
}

HRESULT MultiplexWriter::AddStream(const StreamInfo& info, int* index) {
  if (!index) return E_POINTER;
  if (!m_open || m_started || m_streams.size() >= kMaxStreams) return E_UNEXPECTED;
  if (!AcceptsKind(info.kind)) return E_INVALIDARG;
  m_streams.emplace_back();
  Stream& stream = m_streams.back();
  stream.info = info;
  const bool video = IsVideo(info.kind);
  const HRESULT hr = stream.queue.Init(info.kind, video ? m_settings.videoQueueBytes : m_settings.audioQueueBytes,
                                       video ? 8192 : 16384);
  if (FAILED(hr)) {
    m_streams.pop_back();
    return hr;
  }
  *index = static_cast<int>(m_streams.size()) - 1;
  OnStreamAdded(m_streams.size() - 1);
  return S_OK;
}

HRESULT MultiplexWriter::Write(int index, const std::uint8_t* data, std::size_t size, std::int64_t pts,
                               std::int64_t dts) {
  if (!m_open || m_finished || index < 0 || index >= StreamCount()) return E_UNEXPECTED;
  if (size == 0) return m_out.Status();
  if (!data) return E_POINTER;
  m_started = true;
  ElementaryQueue& queue = m_streams[index].queue;
  if (queue.Ended()) return E_UNEXPECTED;
  bool first = true;
  while (size > 0 && SUCCEEDED(m_out.Status())) {
    const std::size_t taken = queue.Append(data, size, first ? pts : kNoTime, first ? dts : kNoTime, !first);
    data += taken;
    size -= taken;
    first = first && taken == 0;
    const std::uint64_t before = m_out.TotalBytes();
    Pump();
    // A full queue that pumping could not drain means a stream whose bytes cannot be sent.
    if (taken == 0 && m_out.TotalBytes() == before && queue.FreeBytes() == 0) return E_FAIL;
  }
  return m_out.Status();
}

HRESULT MultiplexWriter::EndStream(int index) {
  if (!m_open || index < 0 || index >= StreamCount()) return E_UNEXPECTED;
  m_streams[index].queue.MarkEnded();
  Pump();
  return m_out.Status();
}

HRESULT MultiplexWriter::Finish() {
  if (!m_open) return E_UNEXPECTED;
  if (m_finished) return m_out.Status();
  for (Stream& stream : m_streams) stream.queue.MarkEnded();
  Pump();
  m_finished = true;
  if (m_offsetSet) EmitEnd();
  return m_out.Flush();
}

void MultiplexWriter::Pump() {
  while (SUCCEEDED(m_out.Status())) {
    bool allReady = true;
    bool crowded = false;
    for (const Stream& stream : m_streams) {
      allReady = allReady && (stream.queue.Ended() || IsReady(stream));
      crowded = crowded || stream.queue.IsCrowded();
    }
    if (!allReady && !crowded) return;
    if (!EmitOne()) return;
  }
}

void MultiplexWriter::EnsureOffset() {
  if (m_offsetSet) return;
  std::int64_t first = kNoTime;
  for (const Stream& stream : m_streams) {
    const std::int64_t dts = stream.queue.FirstDts();
    if (dts != kNoTime && (first == kNoTime || dts < first)) first = dts;
  }
  m_offset = first == kNoTime ? kPreload : kPreload - first;
  m_offsetSet = true;
}

std::int64_t MultiplexWriter::TransferTime27(std::int64_t bytes, std::int64_t rateBits) {
  const std::int64_t bits27 = bytes * 8 * 27000000;
  return (bits27 + rateBits - 1) / rateBits;
}

MuxStatistics MultiplexWriter::Statistics() const {
  MuxStatistics stats;
  stats.bytesWritten = m_out.TotalBytes();
  stats.lateUnits = m_lateUnits;
  for (const Stream& stream : m_streams) stats.droppedStamps += stream.queue.DroppedStamps();
  return stats;
}

}  // namespace outside
