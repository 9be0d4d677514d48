#include "converter/ui/CCorvaneDlg.h"

#include <sys/stat.h>

#include "converter/engine/ConversionLog.h"
#include "converter/ui/CommandIds.h"
#include "platform/win/messagebox.h"
#include "platform/win/messages.h"
#include "platform/win/system.h"

namespace {

constexpr char kMessageBoxCaption[] = "brannock";

// Removes one leading and one trailing double quote (a path handed over quoted).
std::string WithoutQuotes(std::string path) {
  if (!path.empty() && path.front() == '"') path.erase(0, 1);
  if (!path.empty() && path.back() == '"') path.pop_back();
  return path;
}

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

CCorvaneDlg::~CCorvaneDlg() { Destroy(); }

void CCorvaneDlg::ApplyStart(const MainWindowStart& start) {
  m_inputPath = start.options.inputPath;
  m_outputPath = start.options.outputPath;
  m_outputFolder = start.options.outputFolder;
  m_outputKind = start.options.outputKind;
  m_quiet = start.options.quiet;
  m_logOnly = start.logOnly;
  m_settingsKey = start.settingsKey;
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
  // it (a Start Conversion posted at initialisation, say) is not served.
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
  if (!m_inputPath.empty()) OpenInput(m_inputPath, !m_quiet);
  if (m_quiet) PostMessage(m_hWnd, WM_COMMAND, ID_START_CONVERSION, 0);
}

void CCorvaneDlg::OpenInput(std::string path, bool /*preview*/) {
  if (path.empty()) return;
  m_endOfSource = false;
  path = WithoutQuotes(std::move(path));
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    ReportMessage("Cannot access " + path);
    return;
  }
  m_inputSize = static_cast<std::uint64_t>(info.st_size);
  m_inputPath = path;
  // Loading the source into a graph belongs to conversion control; the open attempt ends with
  // the conversion log flushed.
  LogMessage(nullptr);
}

void CCorvaneDlg::OnStartConversion() {
  if (!ConversionAvailable()) {
    LogMessage("%s", "Cause: this build has no conversion graph\n");
    std::string what = m_inputPath.empty() ? std::string("Cannot convert") : "Cannot convert " + m_inputPath;
    ReportMessage(what + ": this build of Brannock cannot convert yet.");
  }
}

void CCorvaneDlg::OnViewLogfile() {
  // Only a missing opener is worth a message; other failures (no log yet, say) show nothing.
  HRESULT status = OpenWithDefaultApplication(TheConversionLog().Path().c_str());
  if (status == HRESULT_FROM_WIN32(2)) ReportMessage("No editor or viewer defined for LOG file types.");
}

void CCorvaneDlg::OnClose() { EndDialog(IDCANCEL); }

void CCorvaneDlg::OnCommand(UINT id) {
  if (m_modalDone) return;
  switch (id) {
    case ID_START_CONVERSION: OnStartConversion(); break;
    case ID_VIEW_LOGFILE: OnViewLogfile(); break;
    default: break;
  }
}

LRESULT CCorvaneDlg::WindowProc(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_CLOSE: OnClose(); return 0;
    case WM_COMMAND: OnCommand(static_cast<UINT>(wParam & 0xFFFF)); return 0;
    default: return 0;
  }
}

void CCorvaneDlg::PostCloseRequest() { PostMessage(m_hWnd, WM_CLOSE, 0, 0); }

int CCorvaneDlg::ShowMessageBox(const std::string& text, UINT type, UINT /*helpId*/) {
  return MessageBox(m_hWnd, text.c_str(), kMessageBoxCaption, type);
}
