// How a conversion ends: the graph's events and the source's end notice arrive as message
// 0x8001; the window drains the event queue and completes the conversion, or fails it when a
// filter aborted the stream. Stop stops the graph and, when one runs, the recorder.
#include <cstdio>

#include "converter/engine/ConversionLog.h"
#include "converter/engine/RecordingMetadata.h"
#include "converter/ui/CCorvaneDlg.h"
#include "converter/ui/CInfoPane.h"
#include "converter/ui/CommandIds.h"
#include "converter/ui/ProgressArithmetic.h"
#include "platform/dshow/ErrorText.h"
#include "platform/dshow/Errors.h"
#include "platform/win/messages.h"
#include "platform/win/system.h"
#include "shared/EndOfFileMessage.h"

void CCorvaneDlg::OnGraphNotify(WPARAM wParam, LPARAM lParam) {
  if (wParam == kEndOfFileWParam && lParam == kEndOfFileLParam) m_endOfSource = true;
  if (!m_graph || !m_graph->MediaEvents()) return;
  IMediaEventEx* events = m_graph->MediaEvents();
  LONG code = 0;
  LONG_PTR param1 = 0;
  LONG_PTR param2 = 0;
  while (events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
    events->FreeEventParams(code, param1, param2);
    // A filter that aborted the stream ends the conversion as failed, whatever came before:
    // counting it as the end would call a broken file complete.
    if (code == EC_ERRORABORT) {
      FailConversion(static_cast<HRESULT>(param1), "Conversion aborted by a filter");
      return;
    }
    if (code == EC_COMPLETE || code == EC_USERABORT || m_endOfSource) {
      CompleteConversion();
      return;
    }
  }
}

HRESULT CCorvaneDlg::FailureAfterStop(HRESULT stopStatus) {
  if (FAILED(stopStatus)) return stopStatus;
  // A writer finishing its file at the stop reports a failed write as an event.
  IMediaEventEx* events = m_graph ? m_graph->MediaEvents() : nullptr;
  if (!events) return S_OK;
  LONG code = 0;
  LONG_PTR param1 = 0;
  LONG_PTR param2 = 0;
  HRESULT failure = S_OK;
  while (events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
    events->FreeEventParams(code, param1, param2);
    if (code == EC_ERRORABORT && SUCCEEDED(failure)) failure = static_cast<HRESULT>(param1);
  }
  return failure;
}

bool CCorvaneDlg::WroteAnything() const {
  const std::vector<std::string> files = m_graph->OutputFiles();
  if (files.empty()) return true;  // a recording: its recorder answers for it
  for (const std::string& file : files) {
    if (GetFileSizeByName(file.c_str()) > 0) return true;
  }
  return false;
}

void CCorvaneDlg::CompleteConversion() {
  m_endOfSource = true;
  KillTimer(m_hWnd, kDisplayTimer);
  if (IMediaSeeking* seeking = m_graph->MediaSeeking()) {
    LONGLONG duration = 0;
    if (SUCCEEDED(seeking->GetDuration(&duration)) && duration > 0) m_lastDuration = duration;
  }
  // The files are finished by the stop, so it is done here and now: the attributes are written
  // into the finished recording, and a file that could not be finished is no success.
  OnStop();
  const HRESULT failure = FailureAfterStop(m_graph->LastStatus());
  if (FAILED(failure)) {
    FailConversion(failure, "Finishing the output failed");
    return;
  }
  if (!WroteAnything()) {
    // Every stream of the input was empty or unreadable: no file, no success.
    FailConversion(VFW_E_NO_ACCEPTABLE_TYPES, "The conversion wrote no data");
    return;
  }
  char total[32];
  std::snprintf(total, sizeof total, "%llu KB",
                static_cast<unsigned long long>(
                    progress::PacketKilobytes(progress::ReadDecimal(InformationQuery("MAXPACKET")))));
  m_progressLine.Show("100%", total, progress::StreamTimeText(m_lastDuration), "-");
  m_progressLine.Finish();
  SetMonitorField(CInfoPane::IDC_COMPLETE, "100%");
  SetMonitorField(CInfoPane::IDC_REMAINING, "-");
  SetStatusText("Done.");
  m_conversionCompleted = true;
  LogMessage("%s", "Conversion completed successfully.\n");
  if (!m_quiet && !m_logOnly) ReportMessage("Conversion completed successfully.");
  RecordingMetadataInput metadata;
  metadata.outputKind = m_outputKind;
  metadata.inputPath = m_inputPath;
  metadata.outputPath = m_outputPath;
  metadata.hd = m_hd;
  metadata.startTime = m_startTime;
  metadata.durationTicks = m_lastDuration;
  WriteRecordingMetadata(metadata);
  if (m_quiet) PostMessage(m_hWnd, WM_CLOSE, 0, 0);
}

void CCorvaneDlg::FailConversion(HRESULT status, const char* what) {
  KillTimer(m_hWnd, kDisplayTimer);
  m_progressLine.Finish();
  LogMessage("%s (hr = %08x)\n", what, static_cast<unsigned>(status));
  if (m_uiState == UI_CONVERTING || m_uiState == UI_CONVERTING_AND_MONITORING) OnStop();
  SetStatusText("Failed.");
  char text[512];
  std::snprintf(text, sizeof text, "Conversion failed. (HRESULT = %08x)\nCause: %s\nOutput: %s",
                static_cast<unsigned>(status), ErrorText(status).c_str(), m_outputPath.c_str());
  ReportMessage(text);
}

void CCorvaneDlg::OnStop() {
  m_prepareOnly = false;
  if (m_graph) m_graph->StopGraph();
  m_uiState = UI_STOPPED;
  m_menu.EnableCommand(ID_STOP, false);
}
