#include "platform/filters/PassThroughOutputPin.h"

#include "platform/com/comptr.h"

PassThroughOutputPin::PassThroughOutputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock,
                                           HRESULT* result, LPCWSTR name, CBasePin* input)
    : CBaseOutputPin(objectName, filter, lock, result, name), m_input(input) {}

HRESULT PassThroughOutputPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  if (!m_input->IsConnected()) return VFW_E_NOT_CONNECTED;
  return *type == m_input->CurrentMediaType() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT PassThroughOutputPin::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (!m_input->IsConnected() || position > 0) return VFW_S_NO_MORE_ITEMS;
  *type = m_input->CurrentMediaType();
  return S_OK;
}

HRESULT PassThroughOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
  if (!pin || !allocator) return E_POINTER;
  *allocator = nullptr;
  ComPtr<IMemInputPin> input;
  ComPtr<IMemAllocator> upstream;
  ALLOCATOR_PROPERTIES properties{};
  if (SUCCEEDED(m_input->QueryInterface(IID_PPV_ARGS(input.GetAddressOf()))) &&
      SUCCEEDED(input->GetAllocator(upstream.GetAddressOf())) && SUCCEEDED(upstream->GetProperties(&properties)) &&
      properties.cBuffers > 0 && properties.cbBuffer > 0) {
    const HRESULT hr = pin->NotifyAllocator(upstream.Get(), TRUE);
    if (FAILED(hr)) return hr;
    *allocator = upstream.Detach();
    return S_OK;
  }
  // No sized allocator upstream yet: a token one of our own.
  return CBaseOutputPin::DecideAllocator(pin, allocator);
}

HRESULT PassThroughOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  if (request->cBuffers < 1) request->cBuffers = 1;
  if (request->cbBuffer < 1) request->cbBuffer = 1;
  if (request->cbAlign < 1) request->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  return allocator->SetProperties(request, &actual);
}

HRESULT PassThroughOutputPin::PassOn(IMediaSample* sample) {
  if (!IsConnected()) return S_OK;
  return Deliver(sample);
}
