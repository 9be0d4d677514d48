#pragma once
// The lower pane of the main window, as data: the status line (control 1001, "Ready" until the
// window first refreshes it), the input file name, the marks and the preview's seeking interface.
// The Monitor panel (CInfoPane) and the Sources panel (CMarkPane) derive from it; a widget layer
// draws a pane from these fields.
#include <cstdint>
#include <string>

#include "platform/com/comptr.h"
#include "platform/dshow/SeekingInterfaces.h"

// What a pane knows of the marks and the preview: marks in milliseconds from the start of the
// recording (0 = not set), and the seeking interface of the preview's source filter (held, may be
// null).
struct PaneMarks {
  std::int32_t markIn = 0;
  std::int32_t markOut = 0;
  ComPtr<IMediaSeeking> seeking;
};

class CBasePane {
 public:
  static constexpr int IDC_STATUS_LINE = 1001;
  static constexpr char kInitialStatus[] = "Ready";

  explicit CBasePane(std::string fileName = std::string(), std::int32_t markIn = 0, std::int32_t markOut = 0);
  virtual ~CBasePane() = default;
  CBasePane(const CBasePane&) = delete;
  CBasePane& operator=(const CBasePane&) = delete;

  // True for the Monitor panel (the pane context menu checks its item then).
  virtual bool IsMonitorPanel() const = 0;

  const std::string& StatusText() const { return m_statusText; }
  void SetStatusText(std::string text) { m_statusText = std::move(text); }

  const std::string& FileName() const { return m_fileName; }
  std::int32_t MarkIn() const { return m_marks.markIn; }
  std::int32_t MarkOut() const { return m_marks.markOut; }
  IMediaSeeking* Seeking() const { return m_marks.seeking.Get(); }

 protected:
  PaneMarks& Marks() { return m_marks; }

 private:
  std::string m_statusText = kInitialStatus;
  std::string m_fileName;
  PaneMarks m_marks;
};
