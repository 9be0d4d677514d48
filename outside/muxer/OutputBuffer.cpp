#include "outside/muxer/OutputBuffer.h"

namespace outside {

void OutputBuffer::Init(ByteSink* sink, std::size_t capacity) {
  m_sink = sink;
  m_buffer.assign(capacity, 0);
  m_used = 0;
  m_total = 0;
  m_status = sink ? S_OK : E_POINTER;
}

std::uint8_t* OutputBuffer::Reserve(std::size_t size) {
  if (FAILED(m_status) || size > m_buffer.size()) return nullptr;
  if (m_buffer.size() - m_used < size && FAILED(Flush())) return nullptr;
  return m_buffer.data() + m_used;
}

HRESULT OutputBuffer::Flush() {
  if (FAILED(m_status) || m_used == 0) return m_status;
  const HRESULT hr = m_sink->Write(m_buffer.data(), m_used);
  m_used = 0;
  if (FAILED(hr)) m_status = hr;
  return m_status;
}

}  // namespace outside
