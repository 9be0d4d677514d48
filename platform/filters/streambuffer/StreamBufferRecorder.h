#pragma once
// A content recorder made by the stream-buffer sink: IStreamBufferRecordControl over one
// recording. It keeps the sink alive; releasing it ends the recording if nothing else did.
#include <memory>

#include "platform/com/comptr.h"
#include "platform/filters/streambuffer/StreamBufferSink.h"

class StreamBufferRecorder final : public ComObject<IStreamBufferRecordControl> {
 public:
  StreamBufferRecorder(StreamBufferSink* sink, std::shared_ptr<RecordingSession> session);

  // Start: the recording takes what the sink receives from now, and what it received since the
  // recorder was made (start may be null; any other start time is ignored and set to 0).
  STDMETHODIMP Start(REFERENCE_TIME* start) override;
  // Ends the recording (the file is complete when this returns); the recording's status.
  STDMETHODIMP Stop(REFERENCE_TIME stop) override;
  STDMETHODIMP GetRecordingStatus(HRESULT* result, BOOL* started, BOOL* stopped) override;

 private:
  ~StreamBufferRecorder() override;

  ComPtr<IBaseFilter> m_keepAlive;
  StreamBufferSink* m_sink;
  std::shared_ptr<RecordingSession> m_session;
};
