#include "platform/filters/streambuffer/StreamBufferRecorder.h"

StreamBufferRecorder::StreamBufferRecorder(StreamBufferSink* sink, std::shared_ptr<RecordingSession> session)
    : m_keepAlive(static_cast<IBaseFilter*>(sink)), m_sink(sink), m_session(std::move(session)) {}

StreamBufferRecorder::~StreamBufferRecorder() { m_sink->StopRecording(m_session); }

STDMETHODIMP StreamBufferRecorder::Start(REFERENCE_TIME* start) {
  if (start) *start = 0;
  return m_sink->StartRecording(m_session);
}

STDMETHODIMP StreamBufferRecorder::Stop(REFERENCE_TIME /*stop*/) { return m_sink->StopRecording(m_session); }

STDMETHODIMP StreamBufferRecorder::GetRecordingStatus(HRESULT* result, BOOL* started, BOOL* stopped) {
  bool isStarted = false, isStopped = false;
  HRESULT status = S_OK;
  m_sink->RecordingStatus(m_session, &status, &isStarted, &isStopped);
  if (result) *result = status;
  if (started) *started = isStarted ? TRUE : FALSE;
  if (stopped) *stopped = isStopped ? TRUE : FALSE;
  return S_OK;
}
