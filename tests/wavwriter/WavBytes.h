#pragma once
// Little-endian readers and a WAVEFORMATEX builder for checking WAV headers in tests.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/types.h"

inline std::uint32_t ReadLe32(const std::vector<BYTE>& bytes, std::size_t at) {
  return bytes.at(at) | (bytes.at(at + 1) << 8) | (bytes.at(at + 2) << 16) | (std::uint32_t{bytes.at(at + 3)} << 24);
}
inline WORD ReadLe16(const std::vector<BYTE>& bytes, std::size_t at) {
  return static_cast<WORD>(bytes.at(at) | (bytes.at(at + 1) << 8));
}
inline std::string ReadTag(const std::vector<BYTE>& bytes, std::size_t at) {
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
}

// An 18-byte WAVEFORMATEX as a demultiplexer describes AC3 (tag 0x2000) or anything else,
// followed by extra bytes (cbSize counts them).
inline std::vector<BYTE> MakeWaveFormat(WORD tag, WORD channels, DWORD samplesPerSec, DWORD avgBytesPerSec,
                                        WORD blockAlign, WORD bitsPerSample, std::vector<BYTE> extra = {}) {
  std::vector<BYTE> f;
  auto put16 = [&f](WORD v) { f.push_back(static_cast<BYTE>(v)); f.push_back(static_cast<BYTE>(v >> 8)); };
  auto put32 = [&](DWORD v) { put16(static_cast<WORD>(v)); put16(static_cast<WORD>(v >> 16)); };
  put16(tag);
  put16(channels);
  put32(samplesPerSec);
  put32(avgBytesPerSec);
  put16(blockAlign);
  put16(bitsPerSample);
  put16(static_cast<WORD>(extra.size()));
  f.insert(f.end(), extra.begin(), extra.end());
  return f;
}
