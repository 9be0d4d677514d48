#pragma once
// Test helper: reads a transport stream of one program the way the demultiplexer would hand it to
// the multiplexer: one chunk per PES packet, with its PTS/DTS, in file order.
#include <cstdint>
#include <string>
#include <vector>

namespace muxtest {

struct TsStreamEntry {
  std::uint16_t pid = 0;
  std::uint8_t streamType = 0;
  std::string language;
};

struct PesChunk {
  int stream = 0;  // index into the stream list
  std::vector<std::uint8_t> payload;
  std::int64_t pts = -1;  // 90 kHz, -1 when absent
  std::int64_t dts = -1;
};

struct TsContent {
  std::vector<TsStreamEntry> streams;
  std::vector<PesChunk> chunks;
};

// False when the file cannot be read or has no PMT.
bool ExtractPes(const std::string& path, TsContent& content);

}  // namespace muxtest
