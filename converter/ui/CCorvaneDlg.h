#pragma once
// The converter's main window, as logic without widgets: its fields, its initialisation, its
// modal run on the thread's message queue, and the window side of the message reporter. A widget
// layer shows it; without one (quiet mode, automation) it runs invisibly on the same queue.
//
// Start-up fills the fields, then DoModal creates the window, initialises it (open the input
// named on the command line; in quiet mode post Start Conversion to itself) and serves messages
// until the window is asked to close (WM_CLOSE) or the thread's loop is told to quit (WM_QUIT).
#include <cstdint>
#include <string>

#include "converter/engine/MessageReporter.h"
#include "converter/engine/Startup.h"
#include "platform/win/types.h"

// UI states and their status texts.
enum UiState : int {
  UI_READY = 0,
  UI_PLAYING = 1,
  UI_CONVERTING = 2,
  UI_STOPPED = 3,
  UI_ENGINE_READY = 4,
  UI_CONVERTING_AND_MONITORING = 5,
  UI_READY_TO_CONVERT = 6,
};
const char* UiStateText(int state);

class CCorvaneDlg : public ReportTarget {
 public:
  CCorvaneDlg() = default;
  ~CCorvaneDlg() override;
  CCorvaneDlg(const CCorvaneDlg&) = delete;
  CCorvaneDlg& operator=(const CCorvaneDlg&) = delete;

  // Takes the fields start-up filled (before the window exists).
  void ApplyStart(const MainWindowStart& start);

  // Create, then serve messages until the window closes; returns the end code (IDOK or IDCANCEL).
  int DoModal();
  // The two halves of DoModal, apart for callers that drive the queue themselves: Create makes
  // the window, becomes the reporter's target and initialises; Destroy undoes both.
  bool Create();
  int RunModalLoop();
  void Destroy();

  HWND GetSafeHwnd() const { return m_hWnd; }
  int UiState() const { return m_uiState; }
  bool IsQuiet() const override { return m_quiet; }
  bool IsLogOnly() const override { return m_logOnly; }
  std::string InputPath() const override { return m_inputPath; }
  // True once a conversion ran to its end.
  bool ConversionCompleted() const { return m_conversionCompleted; }
  // True once a reported message ended a quiet run.
  bool EndedOnMessage() const { return m_reporter.EndedQuietRun(); }

  // Opens an input file: drops surrounding quotes and reports "Cannot access <path>" when the
  // file is not there. Conversion control extends it (input kind, output path, source graph).
  void OpenInput(std::string path, bool preview);

 protected:
  virtual void OnInitDialog();
  // Start Conversion (posted to itself in quiet mode). Until the conversion graph exists it
  // reports that this build cannot convert.
  virtual void OnStartConversion();
  // Opens the conversion log with the desktop's viewer; says so when there is none.
  void OnViewLogfile();
  void OnClose();
  void EndDialog(int result);

 private:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(UINT id);

  // ReportTarget
  void PostCloseRequest() override;
  int ShowMessageBox(const std::string& text, UINT type, UINT helpId) override;

  HWND m_hWnd = 0;
  MessageReporter m_reporter{this};  // the active reporter while the window exists
  bool m_modalDone = false;
  int m_modalResult = 0;

  int m_uiState = UI_STOPPED;
  std::string m_inputPath;
  std::string m_outputPath;
  std::string m_outputFolder;
  std::uint64_t m_inputSize = 0;
  int m_outputKind = -1;
  bool m_quiet = false;
  bool m_logOnly = false;
  bool m_endOfSource = false;
  bool m_conversionCompleted = false;
  std::string m_settingsKey;
};
