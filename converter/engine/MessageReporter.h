#pragma once
// The one way the converter tells the user something. Normally a message box; when the program
// runs quietly or for an automation client nobody can click one, so the message goes to the batch
// log instead, and in quiet mode the main window is then asked to close (the run has failed).
#include <functional>
#include <string>

#include "converter/engine/BatchLog.h"
#include "platform/com/types.h"

// What the reporter needs to know of the main window.
class ReportTarget {
 public:
  virtual ~ReportTarget() = default;
  virtual bool IsQuiet() const = 0;
  virtual bool IsLogOnly() const = 0;
  virtual std::string InputPath() const = 0;
  // Posts a close request to the window (it closes once its loop takes the request).
  virtual void PostCloseRequest() = 0;
  // Shows a message box owned by the window; returns the box's answer.
  virtual int ShowMessageBox(const std::string& text, UINT type, UINT helpId) = 0;
};

inline constexpr int kReportedToLog = 1;  // the answer when the message went to the batch log (OK)

class MessageReporter {
 public:
  explicit MessageReporter(ReportTarget* target) : m_target(target) {}

  // All callers pass type 0 (a plain OK box) and help id 0 and ignore the answer.
  int Report(const std::string& text, UINT type = 0, UINT helpId = 0);

  // True once a message ended a quiet run: its exit status then says it failed.
  bool EndedQuietRun() const { return m_endedQuietRun; }
  const BatchLog& Log() const { return m_batchLog; }

 private:
  ReportTarget* m_target = nullptr;
  BatchLog m_batchLog;
  bool m_endedQuietRun = false;
};

// The main window makes its reporter the active one while it exists (nullptr to leave).
void SetActiveReporter(MessageReporter* reporter);

// Reports text through the active reporter (type 0, help id 0); without one, on standard error.
int ReportMessage(const std::string& text);
