#include "platform/filters/BufferedFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

BufferedFileWriter::BufferedFileWriter(std::size_t bufferSize) : m_bufferSize(std::max<std::size_t>(bufferSize, 4096)) {}

BufferedFileWriter::~BufferedFileWriter() {
  Close();
}

HRESULT BufferedFileWriter::Open(const std::string& path) {
  Close();
  m_status = S_OK;
  m_writeBehindFailed = false;
  m_handedStatus = S_OK;
  m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (m_fd < 0) return HresultFromErrno(errno);
  if (!m_buffer) m_buffer.reset(new std::uint8_t[m_bufferSize]);
  m_bufferOffset = 0;
  m_bufferFill = 0;
  m_appendPosition = 0;
  m_fileSize = 0;
  return S_OK;
}

std::uint64_t BufferedFileWriter::Size() const {
  return std::max(m_fileSize, m_bufferOffset + m_bufferFill);
}

HRESULT BufferedFileWriter::Append(const void* data, std::size_t size) {
  HRESULT hr = WriteAt(m_appendPosition, data, size);
  if (SUCCEEDED(hr)) m_appendPosition += size;
  return hr;
}

HRESULT BufferedFileWriter::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (m_fd < 0) return E_UNEXPECTED;
  if (m_writeBehindFailed.load(std::memory_order_relaxed)) WaitForWriteBehind();
  if (FAILED(m_status)) return m_status;
  if (size == 0) return S_OK;
  if (!data) return E_POINTER;
  if (offset > UINT64_MAX - size) return E_INVALIDARG;
  const auto* bytes = static_cast<const std::uint8_t*>(data);

  // Into the buffered region when the write starts inside it or right at its end and fits.
  const std::uint64_t bufferEnd = m_bufferOffset + m_bufferFill;
  const bool startsInRegion = offset >= m_bufferOffset && offset <= bufferEnd;
  if (startsInRegion && offset + size <= m_bufferOffset + m_bufferSize) {
    const std::size_t at = static_cast<std::size_t>(offset - m_bufferOffset);
    std::memcpy(m_buffer.get() + at, bytes, size);
    m_bufferFill = std::max(m_bufferFill, at + size);
    return S_OK;
  }
  // Contiguous but overflowing: fill the buffer up, flush it, and go on after it.
  if (offset == bufferEnd && m_bufferFill > 0) {
    const std::size_t room = m_bufferSize - m_bufferFill;
    std::memcpy(m_buffer.get() + m_bufferFill, bytes, room);
    m_bufferFill += room;
    HRESULT hr = HandOver();
    if (FAILED(hr)) return hr;
    return WriteAt(offset + room, bytes + room, size - room);
  }
  HRESULT hr = Flush();
  if (FAILED(hr)) return hr;
  if (size >= m_bufferSize) return WriteThrough(offset, bytes, size);
  m_bufferOffset = offset;
  std::memcpy(m_buffer.get(), bytes, size);
  m_bufferFill = size;
  return S_OK;
}

HRESULT BufferedFileWriter::Flush() {
  if (m_fd < 0) return S_OK;
  WaitForWriteBehind();
  if (FAILED(m_status)) return m_status;
  if (m_bufferFill == 0) {
    return S_OK;
  }
  HRESULT hr = WriteThrough(m_bufferOffset, m_buffer.get(), m_bufferFill);
  m_bufferOffset += m_bufferFill;
  m_bufferFill = 0;
  return hr;
}

HRESULT BufferedFileWriter::WriteAll(int fd, std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return HresultFromErrno(errno);
    }
    if (written == 0) return HresultFromErrno(ENOSPC);
    data += written;
    offset += static_cast<std::uint64_t>(written);
    size -= static_cast<std::size_t>(written);
  }
  return S_OK;
}

HRESULT BufferedFileWriter::WriteThrough(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  HRESULT hr = WaitForWriteBehind();
  if (FAILED(hr)) return hr;
  hr = WriteAll(m_fd, offset, data, size);
  if (FAILED(hr)) {
    m_status = hr;
    return hr;
  }
  m_fileSize = std::max(m_fileSize, offset + size);
  return S_OK;
}

HRESULT BufferedFileWriter::HandOver() {
  HRESULT hr = WaitForWriteBehind();
  if (FAILED(hr)) return hr;
  if (!m_spare) m_spare.reset(new (std::nothrow) std::uint8_t[m_bufferSize]);
  if (!m_writeBehind.joinable() && m_spare) {
    try {
      m_exit = false;
      m_writeBehind = std::thread([this] { WriteBehindLoop(); });
    } catch (...) {
      // No thread to be had: the buffer is written here, as without write-behind.
    }
  }
  if (!m_writeBehind.joinable()) return Flush();
  {
    std::lock_guard lock(m_handOverLock);
    m_handedData = m_buffer.get();
    m_handedSize = m_bufferFill;
    m_handedOffset = m_bufferOffset;
    m_handed = true;
  }
  m_handOverChanged.notify_one();
  m_fileSize = std::max(m_fileSize, m_bufferOffset + m_bufferFill);
  m_buffer.swap(m_spare);
  m_bufferOffset += m_bufferFill;
  m_bufferFill = 0;
  return S_OK;
}

HRESULT BufferedFileWriter::WaitForWriteBehind() {
  if (!m_writeBehind.joinable()) return m_status;
  std::unique_lock lock(m_handOverLock);
  m_handOverChanged.wait(lock, [this] { return !m_handed; });
  if (FAILED(m_handedStatus) && SUCCEEDED(m_status)) m_status = m_handedStatus;
  return m_status;
}

void BufferedFileWriter::WriteBehindLoop() {
  std::unique_lock lock(m_handOverLock);
  while (true) {
    m_handOverChanged.wait(lock, [this] { return m_handed || m_exit; });
    if (!m_handed) return;  // asked to exit with nothing left to write
    const std::uint8_t* data = m_handedData;
    const std::size_t size = m_handedSize;
    const std::uint64_t offset = m_handedOffset;
    lock.unlock();
    const HRESULT hr = WriteAll(m_fd, offset, data, size);
    lock.lock();
    if (FAILED(hr) && SUCCEEDED(m_handedStatus)) {
      m_handedStatus = hr;
      m_writeBehindFailed.store(true, std::memory_order_relaxed);
    }
    m_handed = false;
    m_handOverChanged.notify_all();
  }
}

void BufferedFileWriter::StopWriteBehind() {
  if (!m_writeBehind.joinable()) return;
  WaitForWriteBehind();
  {
    std::lock_guard lock(m_handOverLock);
    m_exit = true;
  }
  m_handOverChanged.notify_all();
  m_writeBehind.join();
}

HRESULT BufferedFileWriter::Close() {
  if (m_fd < 0) return m_status;
  Flush();
  StopWriteBehind();
  if (::close(m_fd) != 0 && SUCCEEDED(m_status)) m_status = HresultFromErrno(errno);
  m_fd = -1;
  return m_status;
}
