// Running the built graph between two positions, stopping it, and the DVR-MS recorder that the
// stream-buffer sink makes.
#include <cstdio>

#include "converter/engine/ConversionGraph.h"
#include "converter/engine/ConversionLog.h"
#include "converter/engine/MessageReporter.h"
#include "platform/com/wstring.h"
#include "platform/dshow/StreamBufferInterfaces.h"
#include "platform/win/system.h"

namespace {

constexpr LONGLONG kTicksPerMillisecond = 10000;  // media times are 100-ns units
constexpr DWORD kRecorderStopWait = 1000;         // the recorder finishes its file meanwhile

}  // namespace

HRESULT ConversionGraph::StartOutput(const std::string& path, LONG startMs, LONG stopMs) {
  if (m_streamBufferSink && !m_recorder) return StartRecording(path, startMs, stopMs);
  if (m_mediaControl) {
    ApplyPositions(startMs, stopMs);
    m_lastStatus = m_mediaControl->Run();
  }
  return m_lastStatus;
}

HRESULT ConversionGraph::StartRecording(const std::string& path, LONG startMs, LONG stopMs) {
  LogMessage("%s", "Starting DVR-MS recording\n");
  ComPtr<IStreamBufferSink> sink = m_streamBufferSink.As<IStreamBufferSink>();
  if (!sink) return m_lastStatus;
  const std::u16string widePath = Utf8ToUtf16(path);
  sink->LockProfile(nullptr);
  m_lastStatus = sink->CreateRecorder(widePath.c_str(), RECORDING_TYPE_CONTENT, m_recorder.ReleaseAndGetAddressOf());
  if (!m_recorder) {
    LogMessage("%s", "Recorder failed, maybe recording exists\n");
    DeleteFile(path.c_str());
    LogMessage("Deleting %s\n", path.c_str());
    m_lastStatus = sink->CreateRecorder(widePath.c_str(), RECORDING_TYPE_CONTENT, m_recorder.ReleaseAndGetAddressOf());
  }
  if (!m_recorder) {
    char text[1024];
    std::snprintf(text, sizeof text,
                  "Cannot create recorder. (Cause: %08x)\nPossible reason: Output file %s exists and cannot be "
                  "written to. Please check.",
                  static_cast<unsigned>(m_lastStatus), path.c_str());
    ReportMessage(text);
    // The graph is not run, so the caller must not take this for a start.
    if (SUCCEEDED(m_lastStatus)) m_lastStatus = E_FAIL;
    return m_lastStatus;
  }
  LogMessage("%s", "Starting recorder\n");
  ComPtr<IStreamBufferRecordControl> control = m_recorder.As<IStreamBufferRecordControl>();
  if (control && m_mediaControl) {
    ApplyPositions(startMs, stopMs);
    m_lastStatus = m_mediaControl->Run();
    if (FAILED(m_lastStatus)) return m_lastStatus;
    REFERENCE_TIME start = 0;
    m_lastStatus = control->Start(&start);
  }
  return m_lastStatus;
}

void ConversionGraph::ApplyPositions(LONG startMs, LONG stopMs) {
  if (startMs == 0 && stopMs == 0) return;
  m_mediaControl->Pause();
  ComPtr<IMediaSeeking> seeking = m_source ? m_source.As<IMediaSeeking>() : ComPtr<IMediaSeeking>();
  if (!seeking) return;
  LONGLONG start = startMs * kTicksPerMillisecond;
  LONGLONG stop = stopMs * kTicksPerMillisecond;
  seeking->SetPositions(&start, startMs ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning, &stop,
                        stopMs ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
}

HRESULT ConversionGraph::StopGraph() {
  if (m_mediaEvents) m_mediaEvents->SetNotifyWindow(0, 0, 0);
  if (m_mediaControl) {
    m_lastStatus = m_mediaControl->Stop();
    if (FAILED(m_lastStatus)) {
      LogMessage("Media control: error stopping graph (hr = %08x)\n", static_cast<unsigned>(m_lastStatus));
    } else {
      LogMessage("%s", "Media control: graph stopped\n");
    }
  }
  if (!m_recorder) return m_lastStatus;
  LogMessage("%s", "Stopping the recorder\n");
  if (ComPtr<IStreamBufferRecordControl> control = m_recorder.As<IStreamBufferRecordControl>()) {
    control->Stop(0);
    HRESULT recording = S_OK;
    BOOL started = FALSE;
    BOOL stopped = FALSE;
    m_lastStatus = control->GetRecordingStatus(&recording, &started, &stopped);
    // A recording that failed on its own (a write error) is a failed stop, not a finished file.
    if (SUCCEEDED(m_lastStatus) && FAILED(recording)) m_lastStatus = recording;
    Sleep(kRecorderStopWait);
  }
  m_recorder.Reset();
  return m_lastStatus;
}
