#include "converter/engine/MessageReporter.h"

#include <cstdio>

int MessageReporter::Report(const std::string& text, UINT type, UINT helpId) {
  if (!m_target) {
    std::fprintf(stderr, "brannock: %s\n", text.c_str());
    return kReportedToLog;
  }
  if (!m_target->IsQuiet() && !m_target->IsLogOnly()) return m_target->ShowMessageBox(text, type, helpId);
  m_batchLog.WriteEntry(m_target->InputPath(), text);
  if (m_target->IsQuiet()) {
    m_endedQuietRun = true;
    m_target->PostCloseRequest();
  }
  return kReportedToLog;
}

namespace {
MessageReporter* g_activeReporter = nullptr;  // used on the main window's thread only
}

void SetActiveReporter(MessageReporter* reporter) { g_activeReporter = reporter; }

int ReportMessage(const std::string& text) {
  if (g_activeReporter) return g_activeReporter->Report(text);
  MessageReporter withoutWindow(nullptr);
  return withoutWindow.Report(text);
}
