#include "tests/wavwriter/GraphDoubles.h"

#include <algorithm>
#include <cstring>

#include "platform/com/comptr.h"

namespace {
constexpr CLSID kTestSourceClsid = MakeGuid("{6A1E0C7B-3D1B-4E63-9E55-0B7F5C1A2D01}");
constexpr CLSID kTestSinkClsid = MakeGuid("{6A1E0C7B-3D1B-4E63-9E55-0B7F5C1A2D02}");
}  // namespace

void DisconnectAll(std::initializer_list<IBaseFilter*> filters) {
  for (IBaseFilter* filter : filters) {
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(pins.GetAddressOf()))) continue;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) pin->Disconnect();
  }
}

// ---- source --------------------------------------------------------------------------------

class TestAudioSource::OutPin final : public CBaseOutputPin {
 public:
  OutPin(TestAudioSource* filter, CCritSec* lock, const CMediaType& type, LONG buffers, LONG bufferBytes)
      : CBaseOutputPin("test source pin", filter, lock, nullptr, u"Out"),
        m_type(type),
        m_buffers(buffers),
        m_bufferBytes(bufferBytes) {}

  HRESULT CheckMediaType(const CMediaType* type) override { return type && *type == m_type ? S_OK : S_FALSE; }
  HRESULT GetMediaType(int position, CMediaType* type) override {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    *type = m_type;
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = m_buffers;
    request->cbBuffer = m_bufferBytes;
    request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
  }

 private:
  CMediaType m_type;
  LONG m_buffers;
  LONG m_bufferBytes;
};

TestAudioSource::TestAudioSource(const CMediaType& type, LONG buffers, LONG bufferBytes)
    : CBaseFilter("test audio source", nullptr, &m_lock, kTestSourceClsid),
      m_pin(new OutPin(this, &m_lock, type, buffers, bufferBytes)) {}

TestAudioSource::~TestAudioSource() { delete m_pin; }

CBasePin* TestAudioSource::GetPin(int n) { return n == 0 ? m_pin : nullptr; }
IPin* TestAudioSource::OutputPin() { return m_pin; }

HRESULT TestAudioSource::Send(const std::vector<BYTE>& bytes, bool withTimes) {
  ComPtr<IMediaSample> sample;
  HRESULT hr = m_pin->GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  if (static_cast<LONG>(bytes.size()) > sample->GetSize()) return E_INVALIDARG;
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
  sample->SetActualDataLength(static_cast<LONG>(bytes.size()));
  if (withTimes) {
    REFERENCE_TIME start = 1'000'000, stop = 1'320'000;
    sample->SetTime(&start, &stop);
  }
  return m_pin->Deliver(sample.Get());
}

// ---- sink ----------------------------------------------------------------------------------

class MemoryByteSink::InPin final : public CBaseInputPin, public IStream {
 public:
  InPin(MemoryByteSink* sink, CCritSec* lock, SinkStream stream)
      : CBaseInputPin("memory sink pin", sink, lock, nullptr, u"Input"), m_sink(sink), m_stream(stream) {}

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if ((riid == IStream::kIid || riid == ISequentialStream::kIid) && m_stream != SinkStream::kNotOffered) {
      return GetInterface(static_cast<IStream*>(this), ppv);
    }
    return CBaseInputPin::NonDelegatingQueryInterface(riid, ppv);
  }

  HRESULT CheckMediaType(const CMediaType* type) override {
    return *type->Type() == MEDIATYPE_Stream ? S_OK : S_FALSE;
  }

  STDMETHODIMP Receive(IMediaSample* sample) override {
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    REFERENCE_TIME start = 0, stop = 0;
    hr = sample->GetTime(&start, &stop);
    if (FAILED(hr)) return hr;
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    const auto length = static_cast<std::size_t>(sample->GetActualDataLength());
    std::scoped_lock lock(m_sink->m_fileLock);
    m_sink->m_starts.push_back(start);
    m_sink->WriteAt(static_cast<std::size_t>(start), bytes, length);
    return S_OK;
  }

  // IStream: seek and write at the position; reads are not needed.
  STDMETHODIMP Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP Write(const void* buffer, ULONG count, ULONG* written) override {
    if (m_stream == SinkStream::kWriteFails) return E_ACCESSDENIED;
    const ULONG accepted = m_stream == SinkStream::kShortWrite ? count / 2 : count;
    std::scoped_lock lock(m_sink->m_fileLock);
    m_sink->WriteAt(m_position, static_cast<const BYTE*>(buffer), accepted);
    m_position += accepted;
    ++m_sink->m_streamWrites;
    if (written) *written = accepted;
    return S_OK;
  }
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    if (origin != STREAM_SEEK_SET || move.QuadPart < 0) return E_INVALIDARG;
    m_position = static_cast<std::size_t>(move.QuadPart);
    if (newPosition) newPosition->QuadPart = m_position;
    return S_OK;
  }
  STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  STDMETHODIMP Commit(DWORD) override { return S_OK; }

 private:
  MemoryByteSink* m_sink;
  SinkStream m_stream;
  std::size_t m_position = 0;
};

MemoryByteSink::MemoryByteSink(SinkStream stream)
    : CBaseFilter("memory byte sink", nullptr, &m_lock, kTestSinkClsid), m_pin(new InPin(this, &m_lock, stream)) {}

MemoryByteSink::~MemoryByteSink() { delete m_pin; }

CBasePin* MemoryByteSink::GetPin(int n) { return n == 0 ? m_pin : nullptr; }
IPin* MemoryByteSink::InputPin() { return m_pin; }

void MemoryByteSink::WriteAt(std::size_t offset, const BYTE* bytes, std::size_t length) {
  if (m_file.size() < offset + length) m_file.resize(offset + length);
  if (length) std::memcpy(m_file.data() + offset, bytes, length);
}

std::vector<BYTE> MemoryByteSink::File() {
  std::scoped_lock lock(m_fileLock);
  return m_file;
}

std::vector<REFERENCE_TIME> MemoryByteSink::SampleStarts() {
  std::scoped_lock lock(m_fileLock);
  return m_starts;
}

int MemoryByteSink::HeaderWrites() {
  std::scoped_lock lock(m_fileLock);
  return m_streamWrites;
}
