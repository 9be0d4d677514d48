#pragma once
// The header of a PES packet (ISO/IEC 13818-1 2.4.3.6, and the MPEG-1 form of ISO/IEC 11172-1
// 2.4.3.2 found in MPEG-1 system streams). Every read is checked against the bytes present.
#include <cstddef>
#include <cstdint>

struct PesHeader {
  std::uint8_t stream_id = 0;
  std::uint16_t PES_packet_length = 0;  // bytes after the length field; 0 = unbounded (TS video)
  std::size_t payloadOffset = 0;        // bytes from the start code prefix to the payload
  bool hasPts = false;
  bool hasDts = false;
  std::uint64_t pts = 0;  // 33 bits, 90 kHz
  std::uint64_t dts = 0;  // 33 bits, 90 kHz; equals pts when the header carries none

  // Bytes of the whole packet (start code to last payload byte); 0 when unbounded.
  std::size_t TotalSize() const { return PES_packet_length == 0 ? 0 : 6u + PES_packet_length; }
};

enum class PesParse {
  Ok,        // header complete and consistent
  NeedMore,  // the header runs past the bytes given; more may come
  Invalid,   // these bytes are not a PES header (no start code, length too small, bad flags)
};

// Parses the header at data[0..size). On Ok, header describes it; otherwise header is untouched.
PesParse ParsePesHeader(const std::uint8_t* data, std::size_t size, PesHeader* header);

// True for stream ids whose packets have no optional header (program stream map, padding,
// private stream 2, ECM, EMM, directory, DSM-CC, H.222.1 type E): the payload follows the length.
bool PesHasNoOptionalHeader(std::uint8_t streamId);

// Reads a 5-byte time stamp field (4 prefix bits, 33 bits split by marker bits).
std::uint64_t ReadPesTimestamp(const std::uint8_t* field);
