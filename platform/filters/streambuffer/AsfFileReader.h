#pragma once
// Opens an ASF file for reading: the header (parsed and kept), the data object's place and its
// fixed packet size, the number of whole packets really present, and the simple index objects
// after the data. A recording still marked broadcast (being written, or cut short) is read to
// its last whole packet. Packets are read with pread, so several threads may read at once.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/filters/streambuffer/AsfHeader.h"
#include "platform/filters/streambuffer/SimpleIndex.h"

namespace asf {

class AsfFileReader {
 public:
  AsfFileReader() = default;
  ~AsfFileReader();
  AsfFileReader(const AsfFileReader&) = delete;
  AsfFileReader& operator=(const AsfFileReader&) = delete;

  // kNotAsf for anything that is not a readable ASF file (damaged header, no data object,
  // packets of varying size); the system's status when the file cannot be opened.
  HRESULT Open(const std::string& path);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }

  const AsfHeader& Header() const { return m_header; }
  // The header bytes as stored.
  const std::vector<std::uint8_t>& HeaderBytes() const { return m_headerBytes; }
  std::uint32_t PacketSize() const { return m_packetSize; }
  std::uint64_t PacketCount() const { return m_packetCount; }
  std::uint64_t DataStart() const { return m_dataStart; }
  std::uint64_t FileSize() const { return m_fileSize; }
  // The first simple index in the file (for the first video stream), empty when there is none.
  const SimpleIndex& Index() const { return m_index; }

  // Reads `count` packets from packet `first` into buffer (count * PacketSize bytes); *read is
  // the number of whole packets read (fewer at the end).
  HRESULT ReadPackets(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer, std::uint32_t* read) const;

 private:
  void ReadIndexObjects(std::uint64_t from);

  int m_fd = -1;
  std::uint64_t m_fileSize = 0;
  std::vector<std::uint8_t> m_headerBytes;
  AsfHeader m_header;
  std::uint32_t m_packetSize = 0;
  std::uint64_t m_packetCount = 0;
  std::uint64_t m_dataStart = 0;
  SimpleIndex m_index;
};

}  // namespace asf
