#include "platform/dshow/SourceStream.h"

#include <chrono>
#include <string>

#include "platform/com/wstring.h"

CSourceStream::CSourceStream(const char* objectName, HRESULT* result, CSource* filter, LPCWSTR pinName)
    : CBaseOutputPin(objectName, filter, filter->pStateLock(), result, pinName), m_pFilter(filter) {
  HRESULT hr = filter->AddPin(this);
  if (FAILED(hr) && result) *result = hr;
}

CSourceStream::~CSourceStream() { m_pFilter->RemovePin(this); }

HRESULT CSourceStream::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  const int number = m_pFilter->FindPinNumber(this) + 1;
  if (number < 1) return E_FAIL;
  *id = CoTaskMemDupUtf8(std::to_string(number));
  return *id ? S_OK : E_OUTOFMEMORY;
}

HRESULT CSourceStream::Active() {
  CAutoLock lock(m_pFilter->pStateLock());
  if (m_pFilter->IsActive()) return S_FALSE;  // already running
  if (!IsConnected()) return S_OK;
  HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr)) return hr;
  if (!Create()) return E_FAIL;
  hr = Init();
  if (FAILED(hr)) {
    // OnThreadCreate failed and the thread ended.
    Close();
    return hr;
  }
  return Pause();
}

HRESULT CSourceStream::Inactive() {
  CAutoLock lock(m_pFilter->pStateLock());
  if (!IsConnected()) return S_OK;
  // Decommit first: a thread waiting for a buffer must wake before it can hear the request.
  HRESULT hr = CBaseOutputPin::Inactive();
  if (FAILED(hr)) return hr;
  if (ThreadExists()) {
    hr = Stop();
    if (FAILED(hr)) return hr;
    hr = Exit();
    if (FAILED(hr)) return hr;
    Close();
  }
  return S_OK;
}

HRESULT CSourceStream::GetMediaType(int position, CMediaType* type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return GetMediaType(type);
}

HRESULT CSourceStream::GetMediaType(CMediaType* /*type*/) { return E_UNEXPECTED; }

HRESULT CSourceStream::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  CAutoLock lock(m_pFilter->pStateLock());
  CMediaType mine;
  if (GetMediaType(0, &mine) != S_OK) return E_FAIL;
  return mine == *type ? S_OK : E_FAIL;
}

bool CSourceStream::CheckRequest(Command* command) {
  DWORD request = 0;
  if (!CAMThread::CheckRequest(&request)) return false;
  *command = static_cast<Command>(request);
  return true;
}

DWORD CSourceStream::ThreadProc() {
  Command command;
  do {
    command = GetRequest();
    if (command != CMD_INIT) Reply(static_cast<DWORD>(E_UNEXPECTED));
  } while (command != CMD_INIT);

  HRESULT hr = OnThreadCreate();
  if (FAILED(hr)) {
    OnThreadDestroy();
    Reply(static_cast<DWORD>(hr));
    return 1;
  }
  Reply(S_OK);

  do {
    command = GetRequest();
    switch (command) {
      case CMD_EXIT:
      case CMD_STOP:
        Reply(S_OK);
        break;
      case CMD_RUN:
      case CMD_PAUSE:
        Reply(S_OK);
        DoBufferProcessingLoop();
        break;
      default:
        Reply(static_cast<DWORD>(E_NOTIMPL));
        break;
    }
  } while (command != CMD_EXIT);

  OnThreadDestroy();
  return 0;
}

HRESULT CSourceStream::DoBufferProcessingLoop() {
  Command command;
  OnThreadStartPlay();
  do {
    while (!CheckRequest(&command)) {
      IMediaSample* sample = nullptr;
      HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
      if (FAILED(hr)) {
        // Decommitted: a stop request is on its way.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      hr = FillBuffer(sample);
      if (hr == S_OK) {
        hr = Deliver(sample);
        sample->Release();
        // Downstream refused (flushing, stopped, its own error, which it reports itself).
        if (hr != S_OK) return S_OK;
      } else if (hr == S_FALSE) {
        sample->Release();
        DeliverEndOfStream();
        return S_OK;
      } else {
        sample->Release();
        // The error is queued before the end of stream, so the graph's owner hears of the
        // failure before the completion that the sinks report at end of stream.
        m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
        DeliverEndOfStream();
        return hr;
      }
    }
    if (command == CMD_RUN || command == CMD_PAUSE) Reply(S_OK);
    else if (command != CMD_STOP) Reply(static_cast<DWORD>(E_UNEXPECTED));
  } while (command != CMD_STOP);
  // The stop request stays pending; ThreadProc answers it.
  return S_FALSE;
}
