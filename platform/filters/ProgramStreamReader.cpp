#include "platform/filters/ProgramStreamReader.h"

#include <algorithm>
#include <cstring>

#include "platform/filters/PesHeader.h"

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;  // more than two of the largest packets

bool IsStartCode(const std::uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

// Offset of the next 00 00 01 in data[from..size), or size - 2 (keeping a possible partial prefix).
std::size_t FindStartCode(const std::uint8_t* data, std::size_t size, std::size_t from) {
  for (std::size_t i = from; i + 2 < size; ++i) {
    if (data[i + 2] > 1) {
      i += 2;  // no start code can begin at i, i+1 or i+2 with this byte third
      continue;
    }
    if (IsStartCode(data + i)) return i;
  }
  return size >= 2 ? std::max(from, size - 2) : size;
}

// Offset of the first start code in an elementary stream, or size.
std::size_t FirstStartCode(const std::uint8_t* es, std::size_t size) {
  for (std::size_t i = 0; i + 3 < size; ++i) {
    if (IsStartCode(es + i)) return i;
  }
  return size;
}

}  // namespace

std::size_t PsUnitSize(const std::uint8_t* p, std::size_t available, bool* invalid) {
  *invalid = false;
  const std::uint8_t id = p[3];
  if (id == 0xB9) return 4;
  if (id == 0xBA) {
    if (available < 5) return 0;
    if ((p[4] & 0xC0) == 0x40) {  // MPEG-2 pack header with its stuffing
      if (available < 14) return 0;
      return 14 + (p[13] & 0x07);
    }
    if ((p[4] & 0xF0) == 0x20) return 12;  // MPEG-1
    *invalid = true;
    return 0;
  }
  if (id < 0xBB) {
    *invalid = true;  // a video start code or slice: not a system-level unit
    return 0;
  }
  if (available < 6) return 0;
  const std::size_t length = static_cast<std::size_t>((p[4] << 8) | p[5]);
  if (length == 0) {
    *invalid = true;  // unbounded packets do not occur in program streams
    return 0;
  }
  return 6 + length;
}

std::size_t FindCleanStart(const std::uint8_t* es, std::size_t size, PsStreamKind kind) {
  const bool h264 = kind == PsStreamKind::H264Video;
  if (!h264 && kind != PsStreamKind::Mpeg1Video && kind != PsStreamKind::Mpeg2Video) return 0;
  // The packet's time stamp belongs to the first picture that starts in it: the clean start
  // must come before any other picture does, so that the time stays right once the bytes before
  // it (the end of the previous picture) are dropped.
  std::size_t delimiter = size;  // an H.264 access unit delimiter not yet followed by a slice
  for (std::size_t i = 0; i + 4 <= size; ++i) {
    if (!IsStartCode(es + i)) continue;
    const std::uint8_t code = es[i + 3];
    if (!h264) {
      if (code == 0xB3) return i;
      if (code == 0x00) return size;  // a picture before any sequence header
      continue;
    }
    const int nal = code & 0x1F;
    if (nal == 9) delimiter = i;
    if (nal == 7) return delimiter < i ? delimiter : i;
    if (nal == 1 || nal == 5) return size;
  }
  return size;
}

std::size_t FindPictureStart(const std::uint8_t* es, std::size_t size, PsStreamKind kind) {
  const bool h264 = kind == PsStreamKind::H264Video;
  for (std::size_t i = 0; i + 4 <= size; ++i) {
    if (!IsStartCode(es + i)) continue;
    const std::uint8_t code = es[i + 3];
    const int nal = code & 0x1F;
    if (h264 ? (nal == 9 || nal == 7 || nal == 5 || nal == 1) : (code == 0x00 || code == 0xB3 || code == 0xB8)) return i;
  }
  return size;
}

bool LocatePsPayload(const std::uint8_t* packet, std::size_t size, std::size_t payloadOffset, PsPayload* out) {
  const std::uint8_t id = packet[3];
  PsPayload result;
  result.offset = payloadOffset;
  if ((id >= 0xC0 && id <= 0xEF)) {
    result.key = id;
  } else if (id == 0xBD) {
    if (payloadOffset >= size) return false;
    const std::uint8_t sub = packet[payloadOffset];
    std::size_t skip = 0;
    if (sub >= 0x80 && sub <= 0x8F) {
      skip = 4;
    } else if (sub >= 0xA0 && sub <= 0xA7) {
      skip = 7;
    } else if (sub >= 0x20 && sub <= 0x3F) {
      skip = 1;
    } else if (sub == 0x0B && payloadOffset + 1 < size && packet[payloadOffset + 1] == 0x77) {
      result.key = ProgramStreamReader::kRawAc3Key;
    } else {
      return false;
    }
    if (result.key == 0) result.key = 0xBD00u | sub;
    result.offset += skip;
  } else {
    return false;
  }
  if (result.offset > size) return false;
  result.size = size - result.offset;
  *out = result;
  return true;
}

ProgramStreamReader::ProgramStreamReader(IPesUnitSink& sink) : m_sink(sink), m_buffer(new std::uint8_t[kBufferSize]) {}

void ProgramStreamReader::MapStream(std::uint32_t key, std::size_t stream) {
  for (Mapping& m : m_map) {
    if (m.key == key) {
      m.stream = stream;
      return;
    }
  }
  m_map.push_back({key, stream, true});
}

void ProgramStreamReader::TrimUntilCleanStart(std::uint32_t key, PsStreamKind kind) {
  m_trimKey = key;
  m_trimKind = kind;
}

void ProgramStreamReader::EndBeforeNextPicture(std::uint32_t key, PsStreamKind kind) {
  m_endKey = key;
  m_endKind = kind;
  m_ended = false;
}

void ProgramStreamReader::Reset() {
  m_fill = 0;
  m_inSync = true;
  m_clock.Reset();
  m_lastTimestamp = -1;
  m_trimKey = 0;
  m_endKey = 0;
  m_ended = false;
  for (Mapping& m : m_map) m.discontinuity = true;
}

HRESULT ProgramStreamReader::EndOfStream() {
  if (m_fill > 0) ++m_counters.resyncs;
  m_fill = 0;
  return S_OK;
}

HRESULT ProgramStreamReader::Push(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const std::size_t take = std::min(size, kBufferSize - m_fill);
    std::memcpy(m_buffer.get() + m_fill, data, take);
    m_fill += take;
    data += take;
    size -= take;
    std::size_t consumed = 0;
    HRESULT hr = Parse(&consumed);
    if (consumed > 0) {
      std::memmove(m_buffer.get(), m_buffer.get() + consumed, m_fill - consumed);
      m_fill -= consumed;
    }
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT ProgramStreamReader::Parse(std::size_t* consumed) {
  const std::uint8_t* buffer = m_buffer.get();
  std::size_t pos = 0;
  HRESULT result = S_OK;
  while (m_fill - pos >= 4) {
    const std::uint8_t* p = buffer + pos;
    bool invalid = false;
    std::size_t unitSize = IsStartCode(p) ? PsUnitSize(p, m_fill - pos, &invalid) : 0;
    if (!IsStartCode(p) || invalid) {
      if (m_inSync) ++m_counters.resyncs;
      m_inSync = false;
      pos = FindStartCode(buffer, m_fill, pos + 1);
      continue;
    }
    if (unitSize == 0 || unitSize > m_fill - pos) break;  // wait for the rest
    m_inSync = true;
    if (p[3] == 0xBA) {
      ++m_counters.packs;
    } else if (p[3] == 0xBD || (p[3] >= 0xC0 && p[3] <= 0xEF)) {
      HRESULT hr = HandlePes(p, unitSize);
      if (FAILED(hr)) {
        result = hr;
        pos += unitSize;
        break;
      }
    }
    pos += unitSize;
  }
  *consumed = pos;
  return result;
}

HRESULT ProgramStreamReader::HandlePes(const std::uint8_t* packet, std::size_t size) {
  ++m_counters.pesPackets;
  PesHeader header;
  if (ParsePesHeader(packet, size, &header) != PesParse::Ok) {
    ++m_counters.invalidPackets;
    return S_OK;
  }
  PsPayload payload;
  if (!LocatePsPayload(packet, size, header.payloadOffset, &payload)) return S_OK;
  Mapping* mapping = nullptr;
  for (Mapping& m : m_map) {
    if (m.key == payload.key) mapping = &m;
  }
  if (!mapping || payload.size == 0) return S_OK;

  if (payload.key == m_trimKey) {
    const std::size_t clean = FindCleanStart(packet + payload.offset, payload.size, m_trimKind);
    if (clean == payload.size) return S_OK;  // nothing decodable yet
    payload.offset += clean;
    payload.size -= clean;
    m_trimKey = 0;
  }
  bool ending = false;
  if (payload.key == m_endKey) {
    if (m_ended) return S_OK;
    m_ended = ending = true;
    payload.size = FindPictureStart(packet + payload.offset, payload.size, m_endKind);
    if (payload.size == 0) return S_OK;
  }
  PesUnit unit;
  unit.data = packet + payload.offset;
  unit.size = payload.size;
  unit.isPesStart = true;
  unit.discontinuity = mapping->discontinuity;
  if (header.hasPts && !ending) {
    unit.hasPts = true;
    unit.hasDts = header.hasDts;
    unit.dts = m_clock.Unwrap(header.dts);
    unit.pts = header.hasDts ? m_clock.Unwrap(header.pts) : unit.dts;
    m_lastTimestamp = std::max(m_lastTimestamp, unit.dts);
  }
  mapping->discontinuity = false;
  return m_sink.DeliverPesUnit(mapping->stream, unit);
}

bool ProgramStreamReader::Probe(const std::uint8_t* data, std::size_t size, std::vector<PsStreamInfo>* streams) {
  streams->clear();
  if (size < 12 || !IsStartCode(data) || data[3] != 0xBA) return false;
  std::size_t pos = 0;
  while (size - pos >= 4) {
    const std::uint8_t* p = data + pos;
    bool invalid = false;
    std::size_t unitSize = IsStartCode(p) ? PsUnitSize(p, size - pos, &invalid) : 0;
    if (!IsStartCode(p) || invalid) {
      pos = FindStartCode(data, size, pos + 1);
      continue;
    }
    if (unitSize == 0 || unitSize > size - pos) break;
    PesHeader header;
    PsPayload payload;
    if ((p[3] == 0xBD || p[3] >= 0xC0) && ParsePesHeader(p, unitSize, &header) == PesParse::Ok &&
        LocatePsPayload(p, unitSize, header.payloadOffset, &payload)) {
      const bool known = std::any_of(streams->begin(), streams->end(),
                                     [&](const PsStreamInfo& s) { return s.key == payload.key; });
      if (!known) {
        PsStreamInfo info;
        info.key = payload.key;
        if (payload.key >= 0xE0 && payload.key <= 0xEF) {
          // The sequence extension (00 00 01 B5) follows the sequence header only in MPEG-2; an
          // access unit delimiter or parameter set NAL marks H.264.
          const std::uint8_t* es = p + payload.offset;
          const std::size_t esSize = payload.size;
          info.kind = PsStreamKind::Mpeg1Video;
          for (std::size_t i = 0; i + 4 < esSize; ++i) {
            if (!IsStartCode(es + i)) continue;
            const std::uint8_t code = es[i + 3];
            if (code == 0xB5) {
              info.kind = PsStreamKind::Mpeg2Video;
              break;
            }
            if (code == 0xB3) continue;
            if (info.kind == PsStreamKind::Mpeg1Video && i == FirstStartCode(es, esSize) && (code & 0x80) == 0 &&
                ((code & 0x1F) == 9 || (code & 0x1F) == 7)) {
              info.kind = PsStreamKind::H264Video;
              break;
            }
          }
        } else if (payload.key >= 0xC0 && payload.key <= 0xDF) {
          info.kind = PsStreamKind::MpegAudio;
        } else if ((payload.key >= 0xBD80 && payload.key <= 0xBD87) || payload.key == kRawAc3Key) {
          info.kind = PsStreamKind::Ac3Audio;
        }
        streams->push_back(info);
      }
    }
    pos += unitSize;
  }
  return true;
}
