#pragma once
// CSourceStream: a push output pin with its own streaming thread. When the filter pauses, the
// thread is created (OnThreadCreate) and enters DoBufferProcessingLoop: OnThreadStartPlay, then
// per sample GetDeliveryBuffer, FillBuffer (S_OK: deliver, S_FALSE: end of stream, error:
// end of stream and EC_ERRORABORT with the status) and Deliver, checking for a request (stop,
// exit) between samples. When the filter stops, the allocator is decommitted first (so a thread
// waiting for a buffer wakes), then the thread is stopped and ended (OnThreadDestroy).
//
// Requests are CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP and CMD_EXIT through CAMThread. FillBuffer
// runs on the streaming thread and must not take the filter's state lock, which the control
// thread holds while it waits for the streaming thread.
#include "platform/dshow/AmThread.h"
#include "platform/dshow/BaseOutputPin.h"
#include "platform/dshow/Source.h"

class CSourceStream : public CAMThread, public CBaseOutputPin {
 public:
  CSourceStream(const char* objectName, HRESULT* result, CSource* filter, LPCWSTR pinName);
  ~CSourceStream() override;

  enum Command : DWORD { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };

  // The pin's id is its number as text ("1" for the first pin).
  STDMETHODIMP QueryId(LPWSTR* id) override;

  HRESULT Active() override;
  HRESULT Inactive() override;

  // A single-type pin overrides GetMediaType(CMediaType*); a multi-type one the indexed form.
  HRESULT GetMediaType(int position, CMediaType* type) override;
  virtual HRESULT GetMediaType(CMediaType* type);
  // Accepts exactly the pin's first type.
  HRESULT CheckMediaType(const CMediaType* type) override;

  HRESULT Init() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
  HRESULT Exit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }
  HRESULT Run() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
  HRESULT Pause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
  HRESULT Stop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }
  using CBasePin::Run;

 protected:
  virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
  virtual HRESULT OnThreadCreate() { return S_OK; }
  virtual HRESULT OnThreadDestroy() { return S_OK; }
  virtual HRESULT OnThreadStartPlay() { return S_OK; }
  DWORD ThreadProc() override;
  virtual HRESULT DoBufferProcessingLoop();

  Command GetRequest() { return static_cast<Command>(CAMThread::GetRequest()); }
  bool CheckRequest(Command* command);

  CSource* m_pFilter;
};
