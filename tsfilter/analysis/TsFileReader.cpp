#include "tsfilter/analysis/TsFileReader.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "tsfilter/analysis/TsPacket.h"

namespace tsfilter {
namespace {

// A sync offset is trusted when this many consecutive packet positions (as far as the block
// reaches) carry the sync byte.
constexpr std::size_t kSyncPositionsChecked = 5;

HRESULT LastErrorStatus(int error) {
  return error > 0 ? HRESULT_FROM_WIN32(static_cast<std::uint32_t>(error)) : static_cast<HRESULT>(error);
}

}  // namespace

TsFileReader::TsFileReader(CSpinCritSec& filterLock) : m_filterLock(filterLock) {}

TsFileReader::~TsFileReader() { Close(); }

void TsFileReader::SetNotTransportStreamHandler(NotTransportStreamHandler handler, void* context) {
  std::lock_guard lock(m_filterLock);
  m_notTsHandler = handler;
  m_notTsContext = context;
}

HRESULT TsFileReader::Open(const char* path) {
  std::lock_guard lock(m_filterLock);
  if (!path) return E_POINTER;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return E_FAIL;
  Close();
  m_fd = fd;
  std::size_t i = 0;
  for (; i + 1 < m_ansiName.size() && path[i] != '\0'; ++i) m_ansiName[i] = path[i];
  m_ansiName[i] = '\0';
  m_sizeValid = false;
  m_syncOffset = 0;
  m_blockStart = 0;
  m_reportedNotTs = false;
  return S_OK;
}

void TsFileReader::Close() {
  std::lock_guard lock(m_filterLock);
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_sizeValid = false;
}

bool TsFileReader::IsOpen() const { return m_fd >= 0; }

HRESULT TsFileReader::AllocateBuffers() {
  std::lock_guard lock(m_filterLock);
  if (!m_streamBuffer) m_streamBuffer.reset(new (std::nothrow) std::uint8_t[kStreamBlockPackets * kPacketSize]);
  if (!m_scanBuffer) m_scanBuffer.reset(new (std::nothrow) std::uint8_t[kScanBlockPackets * kPacketSize]);
  return m_streamBuffer && m_scanBuffer ? S_OK : E_OUTOFMEMORY;
}

std::uint64_t TsFileReader::FileSize() {
  std::lock_guard lock(m_filterLock);
  return FileSizeWhileLocked();
}

std::uint64_t TsFileReader::FileSizeWhileLocked() { return m_sizeLimit != 0 ? m_sizeLimit : SystemSizeWhileLocked(); }

std::uint64_t TsFileReader::SystemSizeWhileLocked() {
  if (!m_sizeValid) {
    struct stat st {};
    m_cachedSize = (m_fd >= 0 && ::fstat(m_fd, &st) == 0) ? static_cast<std::uint64_t>(st.st_size) : 0;
    m_sizeValid = true;
  }
  return m_cachedSize;
}

std::uint64_t TsFileReader::CachedSize() {
  std::lock_guard lock(m_filterLock);
  return SystemSizeWhileLocked();
}

void TsFileReader::SetSizeLimit(std::uint64_t bytes) {
  std::lock_guard lock(m_filterLock);
  m_sizeLimit = bytes;
}

std::uint32_t TsFileReader::SyncOffset() {
  std::lock_guard lock(m_filterLock);
  return m_syncOffset;
}

std::uint32_t TsFileReader::BlockStart() {
  std::lock_guard lock(m_filterLock);
  return m_blockStart;
}

bool TsFileReader::HasSyncAt(const std::uint8_t* buffer, std::size_t bytes, std::size_t offset) const {
  for (std::size_t k = 0; k < kSyncPositionsChecked; ++k) {
    const std::size_t at = offset + k * kPacketSize;
    if (at >= bytes) break;
    if (buffer[at] != kSyncByte) return false;
  }
  return offset < bytes;
}

HRESULT TsFileReader::ReadAt(std::uint8_t* buffer, std::size_t length, std::uint64_t offset, std::size_t& bytesRead) {
  bytesRead = 0;
  if (m_fd < 0) return E_HANDLE;
  while (bytesRead < length) {
    const ssize_t n = ::pread(m_fd, buffer + bytesRead, length - bytesRead, static_cast<off_t>(offset + bytesRead));
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastErrorStatus(errno);
    }
    if (n == 0) break;  // end of the file (so far)
    bytesRead += static_cast<std::size_t>(n);
  }
  return S_OK;
}

void TsFileReader::ReportNotTransportStream() {
  if (m_reportedNotTs) return;
  m_reportedNotTs = true;
  if (m_notTsHandler) m_notTsHandler(m_notTsContext);
}

HRESULT TsFileReader::ReadBlock(std::uint8_t* buffer, std::uint32_t index, std::uint32_t count,
                                std::uint32_t* blockStart, std::uint32_t* packetsRead) {
  std::lock_guard lock(m_filterLock);
  if (packetsRead) *packetsRead = 0;
  if (!buffer || count == 0) return E_POINTER;
  m_sizeValid = false;
  if (count == kEndScanBlockPackets) m_syncOffset = 0;

  const std::size_t length = std::size_t{count} * kPacketSize;
  std::size_t bytesRead = 0;
  for (;;) {
    // A read that follows the block read last goes on from there; every read names its offset,
    // so a short read before it cannot shift the packets of this one.
    if (std::uint64_t{index} == std::uint64_t{m_blockStart} + count)
      m_blockStart = index;
    else
      m_blockStart = index / count * count;
    const std::uint64_t offset = std::uint64_t{m_blockStart} * kPacketSize + m_syncOffset;
    const HRESULT hr = ReadAt(buffer, length, offset, bytesRead);
    if (FAILED(hr)) return hr;

    if (m_syncOffset != 0) {
      if (count == kEndScanBlockPackets) m_syncOffset = 0;
      break;  // a block read at a found offset is not checked again
    }
    if (HasSyncAt(buffer, bytesRead, 0)) break;

    // Search for sync among the offsets that leave a whole packet in the block.
    const std::size_t limit = bytesRead > kPacketSize ? bytesRead - kPacketSize : 0;
    std::size_t found = 1;
    while (found < limit && !HasSyncAt(buffer, bytesRead, found)) ++found;
    if (found < limit) {
      m_syncOffset = static_cast<std::uint32_t>(found);
      continue;  // read the block again at the new offset
    }
    ReportNotTransportStream();
    if (limit == 0) break;  // 188 bytes or fewer: nothing to search, take the block as it is
    m_syncOffset = static_cast<std::uint32_t>(limit);
  }

  if (blockStart) *blockStart = m_blockStart;
  if (packetsRead) *packetsRead = static_cast<std::uint32_t>(bytesRead / kPacketSize);
  return S_OK;
}

}  // namespace tsfilter
