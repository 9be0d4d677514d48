#pragma once
// The Sources panel as data: the lower pane that edits Mark In and Mark Out on the preview. It
// starts with the main window's marks (its fields still show 00:00:00.000 and its slider no
// selection), finds the preview's source filter when it is initialised, and hands its seeking
// interface to the main window through Seeking().
#include <string>

#include "converter/ui/CBasePane.h"
#include "converter/ui/MarkEditor.h"

class CMarkPane : public CBasePane {
 public:
  static constexpr UINT_PTR kHeadingTimer = 2;  // redraws the "Mark Out" heading once after a resize
  static constexpr UINT kHeadingTimerDelay = 200;  // ms

  CMarkPane(std::string fileName, std::int32_t markIn, std::int32_t markOut);
  ~CMarkPane() override;

  bool IsMonitorPanel() const override { return false; }

  // The pane's initialisation: finds the preview's source unless a seeking interface was
  // handed over already. processId is the converter's own.
  void OnInitDialog(DWORD processId);

  MarkEditor& Editor() { return m_editor; }
  const MarkEditor& Editor() const { return m_editor; }

  // Resizing starts the heading timer; its tick redraws the heading and stops the timer.
  void OnSize() { m_headingTimerRunning = true; }
  void OnHeadingTimer() { m_headingTimerRunning = false; }
  bool HeadingTimerRunning() const { return m_headingTimerRunning; }

 private:
  MarkEditor m_editor;
  bool m_headingTimerRunning = false;
};
