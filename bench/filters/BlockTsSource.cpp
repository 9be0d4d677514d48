#include "bench/filters/BlockTsSource.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr CLSID CLSID_BenchTsSource = MakeGuid("{5A4B3C2D-1E0F-4A9B-8C7D-6E5F4A3B2C1D}");
}

BlockTsSourcePin::BlockTsSourcePin(HRESULT* result, BlockTsSource* filter)
    : CSourceStream("Bench TS output", result, filter, u"TS Out"), m_block(new unsigned char[kBlockPackets * 188]) {}

BlockTsSourcePin::~BlockTsSourcePin() {
  if (m_fd >= 0) ::close(m_fd);
}

HRESULT BlockTsSourcePin::GetMediaType(CMediaType* type) {
  if (!type) return E_POINTER;
  type->InitMediaType();
  type->SetType(&MEDIATYPE_Stream);
  type->SetSubtype(&MEDIASUBTYPE_MPEG2_TRANSPORT);
  return S_OK;
}

HRESULT BlockTsSourcePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  request->cBuffers = 2;
  request->cbBuffer = 188;
  request->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  return allocator->SetProperties(request, &actual);
}

HRESULT BlockTsSourcePin::Open(const std::string& path) {
  m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return m_fd >= 0 ? S_OK : HresultFromErrno(errno);
}

HRESULT BlockTsSourcePin::FillBuffer(IMediaSample* sample) {
  if (m_blockNext == m_blockPackets) {
    const ssize_t got = ::pread(m_fd, m_block.get(), kBlockPackets * 188, m_fileOffset);
    if (got < 0) return HresultFromErrno(errno);
    m_fileOffset += got;
    m_blockPackets = static_cast<std::size_t>(got) / 188;
    m_blockNext = 0;
    if (m_blockPackets == 0) return S_FALSE;
  }
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  std::memcpy(buffer, m_block.get() + m_blockNext * 188, 188);
  sample->SetActualDataLength(188);
  ++m_blockNext;
  return S_OK;
}

HRESULT BlockTsSourcePin::OnThreadDestroy() {
  m_fileOffset = 0;
  m_blockPackets = m_blockNext = 0;
  return S_OK;
}

BlockTsSource::BlockTsSource() : CSource("Bench TS source", nullptr, CLSID_BenchTsSource) {
  HRESULT hr = S_OK;
  m_pin = new BlockTsSourcePin(&hr, this);
}

BlockTsSource::~BlockTsSource() = default;

BlockTsSource* BlockTsSource::Create() {
  auto* source = new BlockTsSource();
  source->NonDelegatingAddRef();
  return source;
}
