#pragma once
// A loaded file for analysis tests: the filter's and the pin's state, a recording host and a plain
// sample, without any media graph.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/Fixtures.h"
#include "tests/support/TsBuilder.h"
#include "tsfilter/analysis/OpeningAnalysis.h"
#include "tsfilter/analysis/PacketExaminer.h"

namespace tsfilter::test {

class RecordingHost : public AnalysisHost {
 public:
  void ShowNotTransportStream() override { ++notTransportStream; }
  void PostEndOfStream(std::intptr_t window) override {
    ++endOfStreamPosts;
    lastWindow = window;
  }
  void ReadSetting(const char* name, std::uint32_t& value) override {
    if (auto it = settings.find(name); it != settings.end()) value = it->second;
  }

  int notTransportStream = 0;
  int endOfStreamPosts = 0;
  std::intptr_t lastWindow = 0;
  std::map<std::string, std::uint32_t> settings;
};

class BufferSample : public PacketSample {
 public:
  explicit BufferSample(std::size_t size = 188) : data(size, 0) {}
  std::uint8_t* Buffer() override { return data.data(); }
  std::size_t Size() override { return data.size(); }
  void SetActualLength(std::size_t bytes) override { actual = bytes; }
  void SetTimes(std::int64_t s, std::int64_t e) override {
    start = s;
    stop = e;
  }
  void SetSyncPoint(bool value) override { syncPoint = value; }
  void SetDiscontinuity(bool value) override { discontinuity = value; }

  std::vector<std::uint8_t> data;
  std::size_t actual = 0;
  std::int64_t start = -1, stop = -1;
  bool syncPoint = false, discontinuity = false;
};

class LoadedFile {
 public:
  LoadedFile() : dir(testsupport::MakeTempDir("tsanalysis")), path(dir / "input.ts") { filter.SetHost(&host); }
  ~LoadedFile() {
    filter.reader.Close();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  void Write(const testsupport::Bytes& bytes) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  void AppendBytes(const testsupport::Bytes& bytes) const {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  HRESULT Load(const testsupport::Bytes& bytes) {
    Write(bytes);
    return LoadFile(filter, path.c_str(), [this] { return &pin; });
  }
  // Delivers up to `limit` samples; returns the PIDs of the packets delivered and stops at the end.
  std::vector<std::uint16_t> Deliver(std::size_t limit, HRESULT* last = nullptr) {
    std::vector<std::uint16_t> pids;
    HRESULT hr = S_OK;
    for (std::size_t i = 0; i < limit; ++i) {
      BufferSample sample;
      hr = ExaminePacket(filter, pin, &sample);
      if (hr != S_OK) break;
      pids.push_back(PacketPid(sample.data.data()));
    }
    if (last) *last = hr;
    return pids;
  }

  std::filesystem::path dir;
  std::filesystem::path path;
  RecordingHost host;
  TsFilterState filter;
  TsPinState pin;
};

// A packet of `pid` whose payload carries `index` in its first four bytes (after a zero byte, so no
// analysis step mistakes it for a section or PES start).
inline testsupport::Packet IndexedPacket(std::uint16_t pid, std::uint32_t index) {
  testsupport::Bytes payload{0xFF, static_cast<std::uint8_t>(index >> 24), static_cast<std::uint8_t>(index >> 16),
                             static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
  return testsupport::TsPacketBuilder(pid).Cc(static_cast<std::uint8_t>(index)).FillPayloadWith(0xFF).Payload(payload).Build();
}

inline std::uint32_t IndexOf(const std::uint8_t* packet) {
  return (std::uint32_t{packet[5]} << 24) | (std::uint32_t{packet[6]} << 16) | (std::uint32_t{packet[7]} << 8) | packet[8];
}

inline testsupport::Bytes IndexedPackets(std::uint32_t count, std::uint16_t pid = 0x200) {
  testsupport::Bytes bytes;
  bytes.reserve(std::size_t{count} * 188);
  for (std::uint32_t i = 0; i < count; ++i) testsupport::Append(bytes, IndexedPacket(pid, i));
  return bytes;
}

}  // namespace tsfilter::test
