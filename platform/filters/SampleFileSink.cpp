#include "platform/filters/SampleFileSink.h"

void SampleFileSink::SetFileName(const std::string& path) {
  std::scoped_lock lock(m_lock);
  if (path == m_path) return;
  m_writer.Close();
  m_path = path;
}

std::string SampleFileSink::FileName() const {
  std::scoped_lock lock(m_lock);
  return m_path;
}

bool SampleFileSink::IsOpen() const {
  std::scoped_lock lock(m_lock);
  return m_writer.IsOpen();
}

HRESULT SampleFileSink::Start() {
  std::scoped_lock lock(m_lock);
  m_writer.Close();
  m_streamPosition = 0;
  m_running = true;
  if (m_path.empty()) return S_OK;
  return m_writer.Open(m_path);
}

HRESULT SampleFileSink::Write(const std::uint8_t* data, std::size_t size, bool positioned, std::uint64_t offset) {
  std::scoped_lock lock(m_lock);
  if (!m_writer.IsOpen()) return m_path.empty() ? S_OK : m_writer.Status();
  return positioned ? m_writer.WriteAt(offset, data, size) : m_writer.Append(data, size);
}

HRESULT SampleFileSink::Stop() {
  std::scoped_lock lock(m_lock);
  m_running = false;
  return m_writer.IsOpen() ? m_writer.Flush() : m_writer.Status();
}

HRESULT SampleFileSink::Close() {
  std::scoped_lock lock(m_lock);
  m_running = false;
  return m_writer.Close();
}

HRESULT SampleFileSink::StreamSeek(std::int64_t move, std::uint32_t origin, std::uint64_t* newPosition) {
  std::scoped_lock lock(m_lock);
  std::int64_t base = 0;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = static_cast<std::int64_t>(m_streamPosition); break;
    case 2: base = static_cast<std::int64_t>(m_writer.Size()); break;
    default: return E_INVALIDARG;
  }
  if ((move < 0 && base + move < 0) || (move > 0 && base > INT64_MAX - move)) return E_INVALIDARG;
  m_streamPosition = static_cast<std::uint64_t>(base + move);
  if (newPosition) *newPosition = m_streamPosition;
  return S_OK;
}

HRESULT SampleFileSink::StreamWrite(const void* data, std::uint32_t size, std::uint32_t* written) {
  std::scoped_lock lock(m_lock);
  if (written) *written = 0;
  if (!data && size > 0) return E_POINTER;
  if (!m_writer.IsOpen()) return m_path.empty() ? E_UNEXPECTED : m_writer.Status();
  HRESULT hr = m_writer.WriteAt(m_streamPosition, data, size);
  // Outside a run nothing else will flush: the write must reach the file now.
  if (SUCCEEDED(hr) && !m_running) hr = m_writer.Flush();
  if (FAILED(hr)) return hr;
  m_streamPosition += size;
  if (written) *written = size;
  return S_OK;
}
