#include "tests/platform/filters/SamplePusher.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr CLSID CLSID_SamplePusher = MakeGuid("{3C2D1E0F-7A6B-4C5D-8E9F-0A1B2C3D4E5F}");
constexpr LONG kBufferSize = 64 * 1024;
}  // namespace

SamplePusherPin::SamplePusherPin(SamplePusher* filter, CCritSec* lock, HRESULT* result, const CMediaType& type)
    : CBaseOutputPin("Pusher output", filter, lock, result, u"Out"), m_type(type) {}

HRESULT SamplePusherPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  return *type == m_type ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SamplePusherPin::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position != 0) return VFW_S_NO_MORE_ITEMS;
  *type = m_type;
  return S_OK;
}

HRESULT SamplePusherPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  request->cBuffers = std::max<LONG>(request->cBuffers, 2);
  request->cbBuffer = std::max<LONG>(request->cbBuffer, kBufferSize);
  request->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  return allocator->SetProperties(request, &actual);
}

SamplePusher::SamplePusher(const CMediaType& type)
    : CBaseFilter("Sample pusher", nullptr, &m_lock, CLSID_SamplePusher), m_pin(this, &m_lock, &m_created, type) {}

SamplePusher* SamplePusher::Create(const CMediaType& type) {
  auto* filter = new SamplePusher(type);
  filter->NonDelegatingAddRef();
  return filter;
}

HRESULT SamplePusher::Push(const std::vector<unsigned char>& data, REFERENCE_TIME start) {
  IMediaSample* sample = nullptr;
  HRESULT hr = m_pin.GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  if (static_cast<std::size_t>(sample->GetSize()) < data.size()) {
    sample->Release();
    return E_INVALIDARG;
  }
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  sample->SetActualDataLength(static_cast<LONG>(data.size()));
  if (start >= 0) {
    REFERENCE_TIME stop = start + static_cast<REFERENCE_TIME>(data.size());
    sample->SetTime(&start, &stop);
  }
  hr = m_pin.Deliver(sample);
  sample->Release();
  return hr;
}

HRESULT SamplePusher::PushTimed(const std::vector<unsigned char>& data, REFERENCE_TIME start, REFERENCE_TIME decode,
                                bool syncPoint) {
  IMediaSample* sample = nullptr;
  HRESULT hr = m_pin.GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  if (static_cast<std::size_t>(sample->GetSize()) < data.size()) {
    sample->Release();
    return E_INVALIDARG;
  }
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  sample->SetActualDataLength(static_cast<LONG>(data.size()));
  if (start >= 0) sample->SetTime(&start, nullptr);
  if (start >= 0 && decode >= 0) sample->SetMediaTime(&decode, &decode);
  sample->SetSyncPoint(syncPoint ? TRUE : FALSE);
  hr = m_pin.Deliver(sample);
  sample->Release();
  return hr;
}
