#include "platform/filters/BufferedFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

BufferedFileWriter::BufferedFileWriter(std::size_t bufferSize) : m_bufferSize(std::max<std::size_t>(bufferSize, 4096)) {}

BufferedFileWriter::~BufferedFileWriter() {
  Close();
}

HRESULT BufferedFileWriter::Open(const std::string& path) {
  Close();
  m_status = S_OK;
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
    HRESULT hr = Flush();
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
  if (FAILED(m_status)) return m_status;
  if (m_bufferFill == 0) {
    return S_OK;
  }
  HRESULT hr = WriteThrough(m_bufferOffset, m_buffer.get(), m_bufferFill);
  m_bufferOffset += m_bufferFill;
  m_bufferFill = 0;
  return hr;
}

HRESULT BufferedFileWriter::WriteThrough(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::pwrite(m_fd, data, size, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      m_status = HresultFromErrno(errno);
      return m_status;
    }
    if (written == 0) {
      m_status = HresultFromErrno(ENOSPC);
      return m_status;
    }
    data += written;
    offset += static_cast<std::uint64_t>(written);
    size -= static_cast<std::size_t>(written);
  }
  m_fileSize = std::max(m_fileSize, offset);
  return S_OK;
}

HRESULT BufferedFileWriter::Close() {
  if (m_fd < 0) return m_status;
  Flush();
  if (::close(m_fd) != 0 && SUCCEEDED(m_status)) m_status = HresultFromErrno(errno);
  m_fd = -1;
  return m_status;
}
