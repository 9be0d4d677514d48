#include "platform/filters/streambuffer/AsfFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/filters/streambuffer/AsfBytes.h"
#include "platform/filters/streambuffer/AsfGuids.h"
#include "platform/filters/streambuffer/RecordingHeader.h"

namespace asf {
namespace {

constexpr std::uint32_t kMinPacketSize = 20;
constexpr std::uint32_t kMaxPacketSize = 256 * 1024;
constexpr std::uint64_t kMaxIndexSize = 64u << 20;
constexpr int kMaxObjectsAfterData = 16;

HRESULT ReadFully(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t size, std::size_t* got) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, buffer + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return HresultFromErrno(errno);
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  *got = done;
  return S_OK;
}

}  // namespace

AsfFileReader::~AsfFileReader() { Close(); }

void AsfFileReader::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_headerBytes.clear();
  m_header = AsfHeader{};
  m_index = SimpleIndex{};
  m_packetCount = 0;
}

HRESULT AsfFileReader::Open(const std::string& path) {
  Close();
  m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (m_fd < 0) return HresultFromErrno(errno);
  struct stat info {};
  if (::fstat(m_fd, &info) != 0) return HresultFromErrno(errno);
  if (!S_ISREG(info.st_mode)) return kNotAsf;
  m_fileSize = static_cast<std::uint64_t>(info.st_size);

  std::uint8_t start[kHeaderObjectFixedSize];
  std::size_t got = 0;
  HRESULT hr = ReadFully(m_fd, 0, start, sizeof start, &got);
  if (FAILED(hr)) return hr;
  const std::uint64_t headerSize = got == sizeof start ? HeaderObjectSize(start, got) : 0;
  if (headerSize == 0 || headerSize > m_fileSize) return kNotAsf;
  m_headerBytes.resize(static_cast<std::size_t>(headerSize));
  hr = ReadFully(m_fd, 0, m_headerBytes.data(), m_headerBytes.size(), &got);
  if (FAILED(hr)) return hr;
  if (got != m_headerBytes.size()) return kNotAsf;
  hr = ParseAsfHeader(m_headerBytes.data(), m_headerBytes.size(), &m_header);
  if (FAILED(hr)) return hr;

  const AsfFileProperties& file = m_header.file;
  if (file.minPacketSize != file.maxPacketSize || file.maxPacketSize < kMinPacketSize || file.maxPacketSize > kMaxPacketSize)
    return kNotAsf;
  m_packetSize = file.maxPacketSize;

  std::uint8_t data[kDataObjectHeaderSize];
  hr = ReadFully(m_fd, headerSize, data, sizeof data, &got);
  if (FAILED(hr)) return hr;
  AsfCursor in(data, got);
  const GUID id = in.Guid();
  const std::uint64_t dataSize = in.U64();
  if (!in.Ok() || got != sizeof data || id != kDataObject) return kNotAsf;
  m_dataStart = headerSize + kDataObjectHeaderSize;

  // The packets really there: those the data object claims when its size is believable, else
  // every whole packet up to the end of the file (broadcast, or still being written).
  const std::uint64_t available = (m_fileSize - m_dataStart) / m_packetSize;
  const bool sized = dataSize >= kDataObjectHeaderSize && dataSize <= m_fileSize - headerSize && !file.Broadcast();
  m_packetCount = sized ? std::min(available, (dataSize - kDataObjectHeaderSize) / m_packetSize) : available;
  if (sized) ReadIndexObjects(headerSize + dataSize);
  return S_OK;
}

void AsfFileReader::ReadIndexObjects(std::uint64_t from) {
  std::uint64_t at = from;
  for (int i = 0; i < kMaxObjectsAfterData && at + kObjectHeaderSize <= m_fileSize; ++i) {
    std::uint8_t head[kObjectHeaderSize];
    std::size_t got = 0;
    if (FAILED(ReadFully(m_fd, at, head, sizeof head, &got)) || got != sizeof head) return;
    AsfCursor in(head, sizeof head);
    const GUID id = in.Guid();
    const std::uint64_t size = in.U64();
    if (size < kObjectHeaderSize || size > m_fileSize - at) return;
    if (id == kSimpleIndexObject && m_index.Empty() && size <= kMaxIndexSize) {
      std::vector<std::uint8_t> object(static_cast<std::size_t>(size));
      if (SUCCEEDED(ReadFully(m_fd, at, object.data(), object.size(), &got)) && got == object.size()) {
        m_index.Parse(object.data(), object.size());
      }
    }
    at += size;
  }
}

HRESULT AsfFileReader::ReadPackets(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer,
                                   std::uint32_t* read) const {
  if (!buffer || !read) return E_POINTER;
  *read = 0;
  if (m_fd < 0) return E_UNEXPECTED;
  if (first >= m_packetCount) return S_OK;
  const std::uint64_t wanted = std::min<std::uint64_t>(count, m_packetCount - first);
  std::size_t got = 0;
  const HRESULT hr = ReadFully(m_fd, m_dataStart + first * m_packetSize, buffer,
                               static_cast<std::size_t>(wanted * m_packetSize), &got);
  if (FAILED(hr)) return hr;
  *read = static_cast<std::uint32_t>(got / m_packetSize);
  return S_OK;
}

}  // namespace asf
