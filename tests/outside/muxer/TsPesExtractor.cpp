#include "TsPesExtractor.h"

#include <fstream>
#include <iterator>
#include <map>

namespace muxtest {
namespace {

std::int64_t ReadTimestamp(const std::uint8_t* p) {
  return (static_cast<std::int64_t>(p[0] & 0x0E) << 29) | (p[1] << 22) | ((p[2] & 0xFE) << 14) | (p[3] << 7) |
         (p[4] >> 1);
}

bool ParsePes(const std::vector<std::uint8_t>& pes, PesChunk& chunk) {
  if (pes.size() < 9 || pes[0] != 0 || pes[1] != 0 || pes[2] != 1) return false;
  const std::size_t headerEnd = 9 + pes[8];
  if (headerEnd > pes.size()) return false;
  const int flags = pes[7] >> 6;
  if (flags & 2) chunk.pts = ReadTimestamp(&pes[9]);
  if (flags == 3) chunk.dts = ReadTimestamp(&pes[14]);
  chunk.payload.assign(pes.begin() + static_cast<long>(headerEnd), pes.end());
  return true;
}

}  // namespace

bool ExtractPes(const std::string& path, TsContent& content) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  int pmtPid = -1;
  std::map<int, int> streamOfPid;
  std::map<int, std::vector<std::uint8_t>> pending;
  auto flush = [&](int pid) {
    auto& pes = pending[pid];
    PesChunk chunk;
    chunk.stream = streamOfPid[pid];
    if (!pes.empty() && ParsePes(pes, chunk)) content.chunks.push_back(std::move(chunk));
    pes.clear();
  };
  for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188) {
    const std::uint8_t* p = &bytes[at];
    if (p[0] != 0x47) return false;
    const bool start = p[1] & 0x40;
    const int pid = ((p[1] & 0x1F) << 8) | p[2];
    std::size_t offset = 4;
    if (p[3] & 0x20) offset += 1 + p[4];
    if (!(p[3] & 0x10) || offset >= 188) continue;
    const std::uint8_t* payload = p + offset;
    const std::size_t size = 188 - offset;
    if (pid == 0 && start && pmtPid < 0) {
      const std::uint8_t* s = payload + 1 + payload[0];
      pmtPid = ((s[10] & 0x1F) << 8) | s[11];
    } else if (pid == pmtPid && start && content.streams.empty()) {
      const std::uint8_t* s = payload + 1 + payload[0];
      const int sectionLength = ((s[1] & 0x0F) << 8) | s[2];
      const int infoLength = ((s[10] & 0x0F) << 8) | s[11];
      int i = 12 + infoLength;
      const int end = 3 + sectionLength - 4;
      while (i + 5 <= end) {
        TsStreamEntry entry;
        entry.streamType = s[i];
        entry.pid = static_cast<std::uint16_t>(((s[i + 1] & 0x1F) << 8) | s[i + 2]);
        const int esLength = ((s[i + 3] & 0x0F) << 8) | s[i + 4];
        for (int d = i + 5; d + 2 <= i + 5 + esLength; d += 2 + s[d + 1]) {
          if (s[d] == 0x0A && s[d + 1] >= 3) entry.language.assign(reinterpret_cast<const char*>(&s[d + 2]), 3);
        }
        streamOfPid[entry.pid] = static_cast<int>(content.streams.size());
        content.streams.push_back(entry);
        i += 5 + esLength;
      }
    } else if (streamOfPid.count(pid)) {
      if (start) flush(pid);
      if (start || !pending[pid].empty()) pending[pid].insert(pending[pid].end(), payload, payload + size);
    }
  }
  for (auto& [pid, pes] : pending) flush(pid);
  return !content.streams.empty();
}

}  // namespace muxtest
