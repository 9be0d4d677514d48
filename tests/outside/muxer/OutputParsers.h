#pragma once
// Test helpers: strict readers of what the writers produce. Each records what it found and the
// first structural fault as text (empty when none).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace muxtest {

inline std::int64_t ReadPesTime(const std::uint8_t* p) {
  return (static_cast<std::int64_t>(p[0] & 0x0E) << 29) | (p[1] << 22) | ((p[2] & 0xFE) << 14) | (p[3] << 7) |
         (p[4] >> 1);
}

struct ParsedPes {
  int key = 0;  // stream id, or 0x100 + sub-stream id for private stream 1
  std::int64_t pts = -1, dts = -1;
  std::int64_t clock27 = 0;    // SCR of its pack, or last PCR before it
  std::size_t payloadStart = 0;  // offset into the stream's elementary bytes
  std::size_t payloadBytes = 0;
  int ac3Frames = -1, ac3Pointer = -1;
};

struct ParsedOutput {
  std::string fault;
  std::vector<std::int64_t> scr27;  // per pack (PS) or per PCR (TS)
  std::vector<std::int64_t> muxRates;
  int systemHeaders = 0;
  std::vector<ParsedPes> pes;
  std::map<int, std::vector<std::uint8_t>> elementary;  // by key
  // Transport stream only.
  std::map<int, int> streamTypes;                 // pid -> stream_type
  std::map<int, std::string> languages;           // pid -> language
  std::map<int, int> keyOfPid;
};

// Parses a PES packet body (from its start code) and appends its payload to the stream's bytes.
inline bool ParsePesPacket(const std::uint8_t* p, std::size_t size, std::int64_t clock27, bool privateSubStreams,
                           ParsedOutput& out) {
  if (size < 9 || p[0] != 0 || p[1] != 0 || p[2] != 1 || (p[6] & 0xC0) != 0x80) return false;
  const std::size_t headerEnd = 9 + p[8];
  if (headerEnd > size) return false;
  ParsedPes pes;
  pes.key = p[3];
  pes.clock27 = clock27;
  const int flags = p[7] >> 6;
  if (flags & 2) pes.pts = ReadPesTime(p + 9);
  if (flags == 3) pes.dts = ReadPesTime(p + 14);
  std::size_t at = headerEnd;
  if (privateSubStreams && p[3] == 0xBD) {
    if (at + 4 > size) return false;
    pes.key = 0x100 + p[at];
    pes.ac3Frames = p[at + 1];
    pes.ac3Pointer = (p[at + 2] << 8) | p[at + 3];
    at += 4;
  }
  auto& es = out.elementary[pes.key];
  pes.payloadStart = es.size();
  pes.payloadBytes = size - at;
  es.insert(es.end(), p + at, p + size);
  out.pes.push_back(pes);
  return true;
}

inline ParsedOutput ParseProgramStream(const std::vector<std::uint8_t>& bytes) {
  ParsedOutput out;
  std::size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at == 4) {
      if (!(bytes[at] == 0 && bytes[at + 1] == 0 && bytes[at + 2] == 1 && bytes[at + 3] == 0xB9)) out.fault = "bad end code";
      return out;
    }
    if (bytes.size() - at < 2048) return out.fault = "short pack at " + std::to_string(at), out;
    const std::uint8_t* pack = &bytes[at];
    if (pack[0] || pack[1] || pack[2] != 1 || pack[3] != 0xBA || (pack[4] & 0xC4) != 0x44) {
      return out.fault = "no pack header at " + std::to_string(at), out;
    }
    const std::int64_t base = (static_cast<std::int64_t>(pack[4] & 0x38) << 27) | ((pack[4] & 0x03) << 28) |
                              (pack[5] << 20) | ((pack[6] & 0xF8) << 12) | ((pack[6] & 0x03) << 13) |
                              (pack[7] << 5) | (pack[8] >> 3);
    const int ext = ((pack[8] & 0x03) << 7) | (pack[9] >> 1);
    out.scr27.push_back(base * 300 + ext);
    out.muxRates.push_back((pack[10] << 14) | (pack[11] << 6) | (pack[12] >> 2));
    std::size_t p = 14 + (pack[13] & 7);
    while (p < 2048) {
      if (p + 6 > 2048 || pack[p] || pack[p + 1] || pack[p + 2] != 1) {
        return out.fault = "no packet start in pack at " + std::to_string(at), out;
      }
      const std::size_t length = 6 + ((pack[p + 4] << 8) | pack[p + 5]);
      if (p + length > 2048) return out.fault = "packet crosses the pack at " + std::to_string(at), out;
      if (pack[p + 3] == 0xBB) {
        ++out.systemHeaders;
      } else if (pack[p + 3] != 0xBE && !ParsePesPacket(pack + p, length, out.scr27.back(), true, out)) {
        return out.fault = "bad PES in pack at " + std::to_string(at), out;
      }
      p += length;
    }
    at += 2048;
  }
  out.fault = "no end code";
  return out;
}

inline ParsedOutput ParseTransportStream(const std::vector<std::uint8_t>& bytes, std::uint32_t (*crc)(const std::uint8_t*, std::size_t)) {
  ParsedOutput out;
  if (bytes.size() % 188 != 0) return out.fault = "not whole packets", out;
  std::map<int, int> continuity;
  std::map<int, std::vector<std::uint8_t>> pending;
  std::map<int, std::int64_t> startClock;
  std::int64_t lastPcr = -1;
  int pmtPid = -1;
  auto flush = [&](int pid) {
    auto& buffer = pending[pid];
    if (!buffer.empty() && !ParsePesPacket(buffer.data(), buffer.size(), startClock[pid], false, out)) out.fault = "bad PES";
    if (!buffer.empty()) out.keyOfPid[pid] = out.pes.back().key;
    buffer.clear();
  };
  for (std::size_t at = 0; at < bytes.size() && out.fault.empty(); at += 188) {
    const std::uint8_t* p = &bytes[at];
    if (p[0] != 0x47) return out.fault = "lost sync", out;
    const int pid = ((p[1] & 0x1F) << 8) | p[2];
    const bool start = p[1] & 0x40;
    const bool hasPayload = p[3] & 0x10;
    std::size_t offset = 4;
    if (p[3] & 0x20) {
      const std::size_t length = p[4];
      if (length > 183) return out.fault = "adaptation field too long", out;
      if (length > 0 && (p[5] & 0x10)) {
        const std::int64_t base = (static_cast<std::int64_t>(p[6]) << 25) | (p[7] << 17) | (p[8] << 9) | (p[9] << 1) |
                                  (p[10] >> 7);
        lastPcr = base * 300 + (((p[10] & 1) << 8) | p[11]);
        out.scr27.push_back(lastPcr);
      }
      offset += 1 + length;
    }
    if (!hasPayload) continue;
    const int cc = p[3] & 0x0F;
    if (continuity.count(pid) && cc != ((continuity[pid] + 1) & 0x0F)) {
      return out.fault = "continuity break on PID " + std::to_string(pid), out;
    }
    continuity[pid] = cc;
    const std::uint8_t* payload = p + offset;
    const std::size_t size = 188 - offset;
    if (pid == 0 || pid == pmtPid) {
      const std::uint8_t* s = payload + 1 + payload[0];
      const std::size_t length = 3 + (((s[1] & 0x0F) << 8) | s[2]);
      if (crc(s, length) != 0) return out.fault = "section CRC", out;
      if (pid == 0) {
        pmtPid = ((s[10] & 0x1F) << 8) | s[11];
      } else {
        std::size_t i = 12 + (((s[10] & 0x0F) << 8) | s[11]);
        while (i + 5 <= length - 4) {
          const int esPid = ((s[i + 1] & 0x1F) << 8) | s[i + 2];
          const std::size_t esLength = ((s[i + 3] & 0x0F) << 8) | s[i + 4];
          out.streamTypes[esPid] = s[i];
          for (std::size_t d = i + 5; d + 2 <= i + 5 + esLength; d += 2 + s[d + 1]) {
            if (s[d] == 0x0A) out.languages[esPid] = std::string(reinterpret_cast<const char*>(s + d + 2), 3);
          }
          i += 5 + esLength;
        }
      }
      continue;
    }
    if (start) {
      flush(pid);
      startClock[pid] = lastPcr;
    }
    pending[pid].insert(pending[pid].end(), payload, payload + size);
  }
  for (auto& [pid, buffer] : pending) flush(pid);
  return out;
}

}  // namespace muxtest
