#include "wavwriter/WavDataLayout.h"

#include "wavwriter/WavHeader.h"

HRESULT WavDataLayout::Start(std::uint32_t formatBytes) {
  m_dataBytes = 0;
  m_headerBytes = 0;
  if (formatBytes > WavHeader::kMaxFormatBytes) return E_FAIL;
  m_headerBytes = formatBytes + WavHeader::kFixedBytes;
  return S_OK;
}

HRESULT WavDataLayout::Place(std::uint32_t length, REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (!start || !stop) return E_POINTER;
  const std::uint64_t first = std::uint64_t{m_headerBytes} + m_dataBytes;
  const std::uint64_t end = first + length;
  if (end > UINT32_MAX) return E_FAIL;
  *start = static_cast<REFERENCE_TIME>(first);
  *stop = static_cast<REFERENCE_TIME>(end);
  m_dataBytes += length;
  return S_OK;
}
