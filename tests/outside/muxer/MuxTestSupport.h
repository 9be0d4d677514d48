#pragma once
// Test helper: multiplexes the PES chunks of a transport stream into a file with a writer.
#include <cstdio>
#include <memory>
#include <string>

#include "TsPesExtractor.h"
#include "outside/muxer/MultiplexWriter.h"
#include "outside/muxer/OutputBuffer.h"

namespace muxtest {

class FileSink : public outside::ByteSink {
 public:
  explicit FileSink(const std::string& path) : m_file(std::fopen(path.c_str(), "wb")) {}
  ~FileSink() {
    if (m_file) std::fclose(m_file);
  }
  HRESULT Write(const std::uint8_t* data, std::size_t size) override {
    return m_file && std::fwrite(data, 1, size, m_file) == size ? S_OK : E_FAIL;
  }

 private:
  std::FILE* m_file;
};

class MemorySink : public outside::ByteSink {
 public:
  HRESULT Write(const std::uint8_t* data, std::size_t size) override {
    if (failAfter >= 0 && static_cast<long>(bytes.size() + size) > failAfter) return STG_E_MEDIUMFULL;
    bytes.insert(bytes.end(), data, data + size);
    return S_OK;
  }
  std::vector<std::uint8_t> bytes;
  long failAfter = -1;
};

inline bool KindOfStreamType(std::uint8_t type, outside::StreamKind& kind) {
  using outside::StreamKind;
  switch (type) {
    case 0x01: kind = StreamKind::Mpeg1Video; return true;
    case 0x02: kind = StreamKind::Mpeg2Video; return true;
    case 0x1B: kind = StreamKind::H264Video; return true;
    case 0x03:
    case 0x04: kind = StreamKind::MpegAudio; return true;
    case 0x06:
    case 0x81: kind = StreamKind::Ac3Audio; return true;
    case 0x0F: kind = StreamKind::AacAudio; return true;
    default: return false;
  }
}

// Feeds every chunk to the writer in file order; returns the first failure.
inline HRESULT MuxContent(const TsContent& content, outside::MultiplexWriter& writer, outside::ByteSink& sink,
                          const outside::MuxSettings& settings = outside::MuxSettings()) {
  HRESULT hr = writer.Open(&sink, settings);
  if (FAILED(hr)) return hr;
  for (const TsStreamEntry& entry : content.streams) {
    outside::StreamInfo info;
    if (!KindOfStreamType(entry.streamType, info.kind)) return E_INVALIDARG;
    for (std::size_t i = 0; i < 3 && i < entry.language.size(); ++i) info.language[i] = entry.language[i];
    int index = -1;
    hr = writer.AddStream(info, &index);
    if (FAILED(hr)) return hr;
  }
  for (const PesChunk& chunk : content.chunks) {
    hr = writer.Write(chunk.stream, chunk.payload.data(), chunk.payload.size(),
                      chunk.pts < 0 ? outside::kNoTime : chunk.pts, chunk.dts < 0 ? outside::kNoTime : chunk.dts);
    if (FAILED(hr)) return hr;
  }
  return writer.Finish();
}

}  // namespace muxtest
