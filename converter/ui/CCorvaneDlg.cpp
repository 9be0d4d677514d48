#include "converter/ui/CCorvaneDlg.h"

#include "converter/engine/ConversionLog.h"
#include "converter/engine/InputKind.h"
#include "converter/engine/OutputKind.h"
#include "converter/ui/CInfoPane.h"
#include "converter/ui/CMarkDlg.h"
#include "converter/ui/CMarkPane.h"
#include "converter/ui/COptionsSheet.h"
#include "converter/ui/CSfxOption.h"
#include "converter/ui/CommandIds.h"
#include "platform/win/messagebox.h"
#include "platform/win/messages.h"
#include "platform/win/system.h"

namespace {

constexpr char kMessageBoxCaption[] = "brannock";

}  // namespace

const char* UiStateText(int state) {
  switch (state) {
    case UI_READY: return "Ready";
    case UI_PLAYING: return "Playing";
    case UI_CONVERTING: return "Converting...";
    case UI_STOPPED: return "Stopped";
    case UI_ENGINE_READY: return "Stream buffer engine ready";
    case UI_CONVERTING_AND_MONITORING: return "Converting and monitoring...";
    case UI_READY_TO_CONVERT: return "Ready to convert";
    default: return "";
  }
}

CCorvaneDlg::CCorvaneDlg() : m_settings(std::make_unique<CSfxOption>(std::string())) {}

CCorvaneDlg::~CCorvaneDlg() {
  Destroy();
  m_markDialog.reset();
  m_pane.reset();
  m_graph.reset();
  m_settings.reset();  // writes the options back
}

void CCorvaneDlg::ApplyStart(const MainWindowStart& start) {
  m_inputPath = start.options.inputPath;
  m_outputPath = start.options.outputPath;
  m_outputFolder = start.options.outputFolder;
  m_outputKind = start.options.outputKind;
  m_quiet = start.options.quiet;
  m_logOnly = start.logOnly;
  if (start.settingsKey != m_settingsKey) {
    m_settingsKey = start.settingsKey;
    // The options are read when the settings object is made; the old one writes its values back.
    m_settings = std::make_unique<CSfxOption>(m_settingsKey);
  }
}

void CCorvaneDlg::SetMarks(LONG markIn, LONG markOut) {
  m_markIn = markIn;
  m_markOut = markOut;
}

int CCorvaneDlg::DoModal() {
  if (!Create()) return IDCANCEL;
  int result = RunModalLoop();
  Destroy();
  return result;
}

bool CCorvaneDlg::Create() {
  if (m_hWnd) return true;
  m_modalDone = false;
  m_hWnd = CreateMessageWindow(
      [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) { return WindowProc(message, wParam, lParam); }, this);
  if (!m_hWnd) return false;
  SetActiveReporter(&m_reporter);
  OnInitDialog();
  return true;
}

int CCorvaneDlg::RunModalLoop() {
  // The loop ends right after the message that ended the dialog: anything still queued behind
  // it is not served.
  MSG msg;
  while (!m_modalDone) {
    BOOL got = GetMessage(&msg, 0, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // leave the quit for an outer loop
      EndDialog(IDCANCEL);
      break;
    }
    DispatchMessage(&msg);
  }
  return m_modalResult;
}

void CCorvaneDlg::Destroy() {
  if (!m_hWnd) return;
  m_progressLine.Finish();
  if (m_graph) {
    // A window closing in the middle of a conversion stops it, so its files are finished.
    if (m_uiState == UI_CONVERTING || m_uiState == UI_CONVERTING_AND_MONITORING || m_uiState == UI_READY_TO_CONVERT)
      m_graph->StopGraph();
    m_graph->TearDownGraph();
  }
  m_sourceInfo.Reset();
  m_playerSeeking.Reset();
  HWND window = m_hWnd;
  m_hWnd = 0;
  DestroyWindow(window);
  SetActiveReporter(nullptr);
}

void CCorvaneDlg::EndDialog(int result) {
  m_modalResult = result;
  m_modalDone = true;
}

void CCorvaneDlg::OnInitDialog() {
  m_graph = std::make_unique<ConversionGraph>(m_hWnd);
  m_graph->SetTableFlag(m_settings->m_debug != 0);
  m_ac3AnalyzerInUse = m_settings->m_ac3Filter;
  m_menu.InitialiseForWindow();
  switch (m_outputKind) {
    case OutputKind::DvrMs: OnOutputDvrMs(); break;
    case OutputKind::ProgramStream: OnOutputMpg(); break;
    case OutputKind::TransportStream: OnOutputTs(); break;
    default: break;
  }
  CreateMonitorPanel();
  m_progressLine.Enable(m_quiet);
  if (!m_inputPath.empty()) OpenInput(m_inputPath, !m_quiet);
  if (m_quiet) PostMessage(m_hWnd, WM_COMMAND, ID_START_CONVERSION, 0);
}

void CCorvaneDlg::OnViewLogfile() {
  // Only a missing opener is worth a message; other failures (no log yet, say) show nothing.
  HRESULT status = OpenWithDefaultApplication(TheConversionLog().Path().c_str());
  if (status == HRESULT_FROM_WIN32(2)) ReportMessage("No editor or viewer defined for LOG file types.");
}

void CCorvaneDlg::OnClose() { EndDialog(IDCANCEL); }

void CCorvaneDlg::OnCommand(UINT id) {
  if (m_modalDone) return;
  // A greyed command cannot be chosen, also not by a message sent to the window.
  if (m_menu.HasItem(id) || id == ID_SET_MARK || id == ID_PLAY_AS_INPUT) {
    if (!m_menu.IsCommandEnabled(id)) return;
  }
  if (id >= ID_AUDIO_TRACK_FIRST && id <= ID_AUDIO_TRACK_LAST) {
    OnSelectAudio(static_cast<int>(id));
    return;
  }
  switch (id) {
    case ID_START_CONVERSION: OnStartConversion(); break;
    case ID_PAUSE: OnPause(); break;
    case ID_STOP: OnStop(); break;
    case ID_OUTPUT_DVRMS: OnOutputDvrMs(); break;
    case ID_OUTPUT_MPG: OnOutputMpg(); break;
    case ID_OUTPUT_TS: OnOutputTs(); break;
    case ID_DEMUX_RAW: OnDemux(OutputKind::DemuxRaw); break;
    case ID_DEMUX_RIFF: OnDemux(OutputKind::DemuxWav); break;
    case ID_VIEW_LOGFILE: OnViewLogfile(); break;
    case ID_FILE_EXIT: OnClose(); break;
    case ID_MONITOR_PANEL: CreateMonitorPanel(); break;
    case ID_SOURCES_PANEL: CreateSourcesPanel(); break;
    case ID_SET_MARK: OnSetMark(); break;
    default: break;
  }
}

LRESULT CCorvaneDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE: OnClose(); return 0;
    case WM_COMMAND: OnCommand(static_cast<UINT>(wParam & 0xFFFF)); return 0;
    case WM_TIMER: OnTimer(static_cast<UINT_PTR>(wParam)); return 0;
    case kGraphNotifyMessage: OnGraphNotify(wParam, lParam); return 0;
    default: return 0;
  }
}

void CCorvaneDlg::OnTimer(UINT_PTR id) {
  if (id == kDisplayTimer) OnDisplayTick();
}

void CCorvaneDlg::OnPlayStateChange(int newState) {
  if (newState == 1) {
    SetUiState(m_uiState == UI_CONVERTING_AND_MONITORING ? UI_CONVERTING : UI_STOPPED);
  } else if (newState == 3) {
    if (m_uiState == UI_CONVERTING) {
      SetUiState(UI_CONVERTING_AND_MONITORING);
    } else {
      if ((m_uiState == UI_STOPPED || m_uiState == UI_ENGINE_READY) && m_inputKind == InputKind::TransportStream) {
        CreateSourcesPanel();
      }
      SetUiState(UI_PLAYING);
    }
  }
  RefreshStatusLine();
}

void CCorvaneDlg::CreateMonitorPanel() { m_pane = std::make_unique<CInfoPane>(m_inputPath); }

void CCorvaneDlg::CreateSourcesPanel() {
  // Mark editing is only offered for transport streams.
  if (m_inputKind != InputKind::TransportStream) return;
  auto pane = std::make_unique<CMarkPane>(m_inputPath, m_markIn, m_markOut);
  pane->OnInitDialog(GetCurrentProcessId());
  m_playerSeeking = pane->Seeking();
  m_pane = std::move(pane);
}

void CCorvaneDlg::OnSetMark() {
  if (!m_markDialog) {
    m_markDialog = std::make_unique<CMarkDlg>(m_inputPath, m_markIn, m_markOut);
    m_markDialog->OnInitDialog(GetCurrentProcessId());
  }
  m_markDialog->Show();
}

void CCorvaneDlg::OnMarkDialogOK() {
  if (!m_markDialog) return;
  const auto [markIn, markOut] = m_markDialog->OnOK();
  SetMarks(markIn, markOut);
}

void CCorvaneDlg::OnMarkDialogCancel() {
  if (m_markDialog) m_markDialog->OnCancel();
}

void CCorvaneDlg::OnDropFiles(const std::vector<std::string>& files) {
  if (files.size() != 1) return;
  m_inputPath = files.front();
  OpenInput(m_inputPath, true);
  m_markDialog.reset();
}

void CCorvaneDlg::OnOptions(const std::function<bool(COptionsSheet&)>& present) {
  COptionsSheet sheet(*m_settings, m_graph ? m_graph->Graph() : nullptr);
  sheet.Open();
  if (!present || !present(sheet)) {
    sheet.OnCancel();
    return;
  }
  // A new folder changes where the loaded input's conversion goes: its output path is made anew.
  if (sheet.OnOK().folderChanged && !m_inputPath.empty()) OpenInput(m_inputPath, true);
}

Menu CCorvaneDlg::ContextMenu() const {
  return PaneContextMenu(m_pane && m_pane->IsMonitorPanel());
}

void CCorvaneDlg::SetUiState(int state) {
  m_uiState = state;
  RefreshStatusLine();
}

void CCorvaneDlg::RefreshStatusLine() { SetStatusText(UiStateText(m_uiState)); }

void CCorvaneDlg::SetStatusText(const std::string& text) {
  if (m_pane) m_pane->SetStatusText(text);
}

void CCorvaneDlg::SetMonitorField(int id, const std::string& text) {
  if (auto* monitor = dynamic_cast<CInfoPane*>(m_pane.get())) monitor->SetField(id, text);
}

void CCorvaneDlg::PostCloseRequest() { PostMessage(m_hWnd, WM_CLOSE, 0, 0); }

int CCorvaneDlg::ShowMessageBox(const std::string& text, UINT type, UINT /*helpId*/) {
  return MessageBox(m_hWnd, text.c_str(), kMessageBoxCaption, type);
}
