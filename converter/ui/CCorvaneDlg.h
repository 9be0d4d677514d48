#pragma once
// The converter's main window, as logic without widgets: its fields, menus and UI states, the
// conversion control (open an input, choose the output, start, pause, complete, stop), the
// information query and the display tick that drive the Monitor panel, and the window side of the
// message reporter. A widget layer shows it; without one (quiet mode, automation) it runs
// invisibly on the thread's message queue.
//
// Start-up fills the fields, then DoModal creates the window, initialises it (open the input
// named on the command line; in quiet mode post Start Conversion to itself) and serves messages
// until the window is asked to close (WM_CLOSE) or the thread's loop is told to quit (WM_QUIT).
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "converter/engine/ConversionGraph.h"
#include "converter/engine/MessageReporter.h"
#include "converter/engine/Startup.h"
#include "converter/ui/MenuModel.h"
#include "converter/ui/QuietProgressLine.h"
#include "platform/com/comptr.h"
#include "platform/win/types.h"
#include "shared/TsSourceInfo.h"

class CBasePane;
class CInfoPane;
class CMarkDlg;
class COptionsSheet;
class CSfxOption;
class PreviewPlayer;

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

// The display timer (500 ms) of the Monitor panel.
inline constexpr UINT_PTR kDisplayTimer = 1;
inline constexpr UINT kDisplayTimerPeriod = 500;

class CCorvaneDlg : public ReportTarget {
 public:
  CCorvaneDlg();
  ~CCorvaneDlg() override;
  CCorvaneDlg(const CCorvaneDlg&) = delete;
  CCorvaneDlg& operator=(const CCorvaneDlg&) = delete;

  // Takes the fields start-up filled (before the window exists); also names the settings key.
  void ApplyStart(const MainWindowStart& start);
  // The preview player of a widget layer (none in quiet and automation runs); not owned.
  void SetPreviewPlayer(PreviewPlayer* player) { m_player = player; }

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
  // True once a conversion ran to its end and its files were finished.
  bool ConversionCompleted() const { return m_conversionCompleted; }
  // True once a reported message ended a quiet run.
  bool EndedOnMessage() const { return m_reporter.EndedQuietRun(); }

  // Conversion control: opening an input (the Load commands, a drop, start-up, automation).
  void OpenInput(std::string path, bool preview);
  // The audio track choice: a command identifier 32790-32800, or an index of 10 or less.
  void OnSelectAudio(int value);
  // The player's play-state event: 1 stopped, 3 playing.
  void OnPlayStateChange(int newState);
  // The information query: the source's attribute answer, or one derived from the player and
  // the input file. Empty when there is no answer.
  std::string InformationQuery(const std::string& key);

  // State the tests and a widget layer read.
  int InputKind() const { return m_inputKind; }
  int OutputKind() const { return m_outputKind; }
  const std::string& OutputPath() const { return m_outputPath; }
  const std::string& MultiplexerInUse() const { return m_multiplexerInUse; }
  const std::string& Ac3AnalyzerInUse() const { return m_ac3AnalyzerInUse; }
  const std::string& FlumettaVersion() const { return m_flumettaVersion; }
  const std::string& GallowinVersion() const { return m_gallowinVersion; }
  const std::string& AmbrelVersion() const { return m_ambrelVersion; }
  bool IsH264() const { return m_h264; }
  bool IsHd() const { return m_hd; }
  int AudioTrackIndex() const { return m_audioTrackIndex; }
  const MainMenu& Menus() const { return m_menu; }
  CBasePane* CurrentPane() const { return m_pane.get(); }
  ConversionGraph* Graph() const { return m_graph.get(); }
  CSfxOption& Settings() { return *m_settings; }
  void SetMarks(LONG markIn, LONG markOut);
  LONG MarkIn() const { return m_markIn; }
  LONG MarkOut() const { return m_markOut; }

  // A widget layer's events: files dropped on the window; the Set Mark window's OK and Cancel;
  // the Options sheet, shown by present (false when the user cancels it).
  void OnDropFiles(const std::vector<std::string>& files);
  CMarkDlg* MarkDialog() const { return m_markDialog.get(); }
  void OnMarkDialogOK();
  void OnMarkDialogCancel();
  void OnOptions(const std::function<bool(COptionsSheet&)>& present);
  // The pane context menu as it opens now.
  Menu ContextMenu() const;

 protected:
  virtual void OnInitDialog();
  void OnCommand(UINT id);
  // Start Conversion (posted to itself in quiet mode).
  void OnStartConversion();
  void OnPause();
  void OnStop();
  void OnOutputDvrMs();
  void OnOutputMpg();
  void OnOutputTs();
  void OnDemux(int outputKind);
  // Opens the conversion log with the desktop's viewer; says so when there is none.
  void OnViewLogfile();
  void OnClose();
  void EndDialog(int result);

 private:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  void OnTimer(UINT_PTR id);
  void OnGraphNotify(WPARAM wParam, LPARAM lParam);

  // Conversion control steps.
  void DecideInputKind();
  void DeriveOutputPath();
  HRESULT LoadSourceRegisteringFlumetta();
  void TakeLoadedSource();
  void RebuildAudioTracks();
  void ReportBuildFailure(HRESULT status);
  void LogFilterVersions();
  bool StartRunning(bool fromPause);
  void AutoSelectMultiplexer();

  // Completion.
  void CompleteConversion();
  void FailConversion(HRESULT status, const char* what);
  // After a stop: a writer that failed while finishing its file reports it as an event.
  HRESULT FailureAfterStop(HRESULT stopStatus);
  bool WroteAnything() const;

  // The display tick and the panes.
  void OnDisplayTick();
  void CreateMonitorPanel();
  void CreateSourcesPanel();
  void OnSetMark();
  void SetUiState(int state);
  void RefreshStatusLine();
  void SetStatusText(const std::string& text);
  void SetMonitorField(int id, const std::string& text);
  std::string TrackText() const;

  // ReportTarget
  void PostCloseRequest() override;
  int ShowMessageBox(const std::string& text, UINT type, UINT helpId) override;

  HWND m_hWnd = 0;
  MessageReporter m_reporter{this};  // the active reporter while the window exists
  bool m_modalDone = false;
  int m_modalResult = 0;

  int m_uiState = UI_STOPPED;
  std::unique_ptr<ConversionGraph> m_graph;
  std::unique_ptr<CBasePane> m_pane;
  std::uint64_t m_inputSize = 0;
  bool m_h264 = false;
  PreviewPlayer* m_player = nullptr;
  ComPtr<IMediaSeeking> m_playerSeeking;
  std::string m_inputPath;
  std::string m_outputPath;
  std::string m_outputFolder;
  std::string m_flumettaVersion;
  std::string m_gallowinVersion;
  std::string m_ambrelVersion;
  std::string m_multiplexerInUse;
  std::string m_ac3AnalyzerInUse;
  std::unique_ptr<CSfxOption> m_settings;
  LONG m_markIn = 0;
  LONG m_markOut = 0;
  int m_inputKind = -1;
  int m_outputKind = -1;
  bool m_quiet = false;
  bool m_logOnly = false;
  bool m_convertible = false;
  bool m_prepareOnly = false;
  DWORD m_startTick = 0;
  bool m_endOfSource = false;
  int m_audioTrackIndex = 0;
  std::unique_ptr<CMarkDlg> m_markDialog;
  ComPtr<ITsSourceInfo> m_sourceInfo;

  MainMenu m_menu;
  bool m_hd = false;
  std::time_t m_startTime = 0;
  long m_loggedAttributeCount = 0;
  std::string m_aspectRatioText;   // width / height of the player's picture, "%1.3f"
  std::int64_t m_lastDuration = 0; // the graph's duration last read (100 ns)
  bool m_conversionCompleted = false;
  std::string m_settingsKey;
  QuietProgressLine m_progressLine;
};
