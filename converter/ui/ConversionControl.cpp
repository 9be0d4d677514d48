// The main window's side of a conversion: opening an input, choosing the output kind, starting,
// the two-step Pause and the audio track choice.
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "converter/engine/CheckPoint.h"
#include "converter/engine/ConversionLog.h"
#include "converter/engine/FilterCatalogue.h"
#include "converter/engine/InputKind.h"
#include "converter/engine/OutputKind.h"
#include "converter/engine/PathText.h"
#include "converter/ui/CCorvaneDlg.h"
#include "converter/ui/CInfoPane.h"
#include "converter/ui/CMarkDlg.h"
#include "converter/ui/CSfxOption.h"
#include "converter/ui/CommandIds.h"
#include "converter/ui/PreviewPlayer.h"
#include "platform/com/library.h"
#include "platform/com/module.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/ErrorText.h"
#include "platform/win/messages.h"
#include "platform/win/system.h"

namespace {

constexpr char kFlumettaModule[] = "Flumetta.ax";

// Index = output kind 0..4.
constexpr const char* kOpenExtensions[] = {".dvr-ms", ".mpg", ".mpv", ".mpv", ".ts"};
constexpr const char* kStartExtensions[] = {".dvr-ms", ".mpg", ".raw", ".raw", ".ts"};
constexpr const char* kFormatTexts[] = {"dvr-ms", "mpg", "demux", "demux", "ts"};

bool IsOutputKind(int kind) { return kind >= OutputKind::DvrMs && kind <= OutputKind::TransportStream; }

// Removes one leading and one trailing double quote (a path handed over quoted).
std::string WithoutQuotes(std::string path) {
  if (!path.empty() && path.front() == '"') path.erase(0, 1);
  if (!path.empty() && path.back() == '"') path.pop_back();
  return path;
}

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return text;
}

// A filter's vendor information text; empty when it gives none.
std::string VendorInfo(IBaseFilter* filter) {
  LPWSTR info = nullptr;
  if (!filter || FAILED(filter->QueryVendorInfo(&info)) || !info) return {};
  std::string text = Utf16ToUtf8(info);
  CoTaskMemFree(info);
  return text;
}

// Asks the source a key and drops the answer (a command such as NOTIFYWND).
void SendSourceCommand(ITsSourceInfo* info, const std::string& key) {
  LPWSTR answer = nullptr;
  info->GetAttribute(Utf8ToUtf16(key).c_str(), &answer);
  CoTaskMemFree(answer);
}

// True when the source found at least one stream of a known type. The source accepts any file
// (a file without packet sync only makes it show a message), so a file that is not a transport
// stream is recognised here: its "streams" carry no type.
bool SourceHasStreams(ITsSourceInfo* info) {
  DWORD programs = 0;
  if (!info || FAILED(info->GetProgramCount(&programs))) return false;
  for (DWORD p = 0; p < programs; ++p) {
    WORD number = 0;
    WORD streams = 0;
    if (FAILED(info->GetProgramNumber(static_cast<LONG>(p), &number)) ||
        FAILED(info->GetStreamCount(number, &streams)))
      continue;
    for (WORD s = 0; s < streams; ++s) {
      BYTE type = 0;
      if (SUCCEEDED(info->GetStreamType(number, s, &type)) && type != 0) return true;
    }
  }
  return false;
}

// A mark with the 3-second lead: a position taken from the preview is applied 3000 ms earlier.
LONG WithLead(LONG mark) { return mark > 3000 ? mark - 3000 : mark; }

}  // namespace

void CCorvaneDlg::OpenInput(std::string path, bool preview) {
  if (path.empty()) return;
  m_loggedAttributeCount = 0;
  m_endOfSource = false;
  m_markDialog.reset();
  m_playerSeeking.Reset();
  path = WithoutQuotes(std::move(path));
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    ReportMessage("Cannot access " + path);
    return;
  }
  m_inputSize = static_cast<std::uint64_t>(info.st_size);
  m_inputPath = path;
  if (preview && m_player) m_player->SetUrl(path);

  DecideInputKind();
  m_convertible = m_inputKind == InputKind::DvrMs || m_inputKind == InputKind::ProgramStream ||
                  m_inputKind == InputKind::TransportStream || m_inputKind == InputKind::Dvd;
  for (UINT id : {ID_START_CONVERSION, ID_PAUSE, ID_SET_MARK}) m_menu.EnableCommand(id, m_convertible);
  if (m_player) m_player->SetUiMode(m_inputKind == InputKind::TransportStream ? "mini" : "full");
  DeriveOutputPath();

  KillTimer(m_hWnd, kDisplayTimer);
  m_graph->StopGraph();
  m_sourceInfo.Reset();
  m_graph->TearDownGraph();

  const HRESULT status = LoadSourceRegisteringFlumetta();
  if (FAILED(status)) {
    ReportBuildFailure(status);
    LogMessage(nullptr);
    return;
  }
  TakeLoadedSource();
  if (m_inputKind == InputKind::TransportStream && !SourceHasStreams(m_sourceInfo.Get())) {
    ReportMessage("Input stream does not appear to be a transport stream: " + m_inputPath +
                  "\nNo video or audio stream was found in it.");
    LogMessage(nullptr);
    return;
  }
  SetTimer(m_hWnd, kDisplayTimer, kDisplayTimerPeriod, nullptr);
  LogMessage(nullptr);
}

void CCorvaneDlg::DecideInputKind() {
  const std::string extension = Lowered(ExtensionOf(m_inputPath));
  const bool noKind = m_outputKind == OutputKind::None;
  if (extension == ".ts" || extension == ".tp") {
    m_inputKind = InputKind::TransportStream;
    if (noKind) OnOutputDvrMs();
  } else if (extension == ".dvr-ms") {
    m_inputKind = InputKind::DvrMs;
    if (noKind) OnOutputMpg();
  } else if (extension == ".mpg") {
    m_inputKind = InputKind::ProgramStream;
    if (noKind) OnOutputDvrMs();
  } else if (extension == ".ifo") {
    m_inputKind = InputKind::Dvd;
    if (noKind) OnOutputDvrMs();
  } else {
    OnOutputMpg();  // the input kind stays as it was
  }
}

void CCorvaneDlg::DeriveOutputPath() {
  // With no output kind chosen there is no extension to give; the conversion then refuses to start.
  m_outputPath = StemOf(m_inputPath) + (IsOutputKind(m_outputKind) ? kOpenExtensions[m_outputKind] : "");
  const std::string fileText = FilePartOf(m_outputPath);
  if (!m_outputFolder.empty()) {
    m_outputPath = m_outputFolder + (m_outputFolder.back() == '/' ? "" : "/") + fileText;
  } else if (m_settings->m_outputType == CSfxOption::kOutputInFolder && !m_settings->m_outputPath.empty()) {
    const std::string& folder = m_settings->m_outputPath;
    m_outputPath = folder + (folder.back() == '/' ? "" : "/") + fileText;
  }
}

HRESULT CCorvaneDlg::LoadSourceRegisteringFlumetta() {
  HRESULT status = m_graph->LoadSource(m_inputPath, m_inputKind);
  if (status != REGDB_E_CLASSNOTREG) return status;
  LogMessage("%s", "Cause: Flumetta not registered, attempting to register..\n");
  HMODULE module = LoadLibrary(kFlumettaModule);
  if (!module) {
    ReportMessage(std::string("File ") + kFlumettaModule + " not found. This file is needed to render TS files.");
    return status;
  }
  if (auto entry = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(module, "DllRegisterServer"))) entry();
  FreeLibrary(module);
  return m_graph->LoadSource(m_inputPath, m_inputKind);
}

void CCorvaneDlg::ReportBuildFailure(HRESULT status) {
  const int checkPoint = m_graph->LastCheckPoint();
  char text[512];
  std::snprintf(text, sizeof text,
                "Could not build graph to render source file. Please check the DirectX requirements for this "
                "application.\n(HRESULT = %08x, Checkpoint = %04x, %s)",
                static_cast<unsigned>(status), static_cast<unsigned>(checkPoint), CheckPointName(checkPoint));
  ReportMessage(text);
}

void CCorvaneDlg::TakeLoadedSource() {
  m_sourceInfo = m_graph->SourceInfo();
  const std::string version = VendorInfo(m_graph->Source());
  if (!version.empty()) {
    m_flumettaVersion = version;
    SetUiState(UI_ENGINE_READY);
  }
  m_h264 = std::atol(InformationQuery("H264.NUMPARAMS").c_str()) >= 1;
  m_menu.ReplaceDemuxItems(m_h264);
  RebuildAudioTracks();
  m_menu.EnableCommand(ID_OUTPUT_DVRMS, !m_h264);
  m_menu.EnableCommand(ID_OUTPUT_MPG, !m_h264);
  m_menu.EnableCommand(ID_SET_MARK, m_inputKind == InputKind::TransportStream && m_convertible);
  m_menu.DrawMenuBar();
  // H.264 cannot go into a DVR-MS recording or an MPEG-2 program stream: those choices (and no
  // choice) become demultiplexed output with WAV audio. A transport stream or raw streams, which
  // H.264 can take, stay as chosen (a quiet /f 2 must not write something else and call it done).
  if (m_h264 && (m_outputKind == OutputKind::None || m_outputKind == OutputKind::DvrMs ||
                 m_outputKind == OutputKind::ProgramStream)) {
    m_outputKind = OutputKind::DemuxWav;
    m_menu.CheckOutput(ID_DEMUX_RIFF);
  }
}

void CCorvaneDlg::RebuildAudioTracks() {
  std::vector<std::string> names;
  ComPtr<IAMStreamSelect> streams =
      m_graph->Source() ? ComPtr<IBaseFilter>(m_graph->Source()).As<IAMStreamSelect>() : ComPtr<IAMStreamSelect>();
  DWORD count = 0;
  if (streams && SUCCEEDED(streams->Count(&count))) {
    for (DWORD i = 0; i < count; ++i) {
      DWORD flags = 0;
      WCHAR* name = nullptr;
      if (FAILED(streams->Info(static_cast<LONG>(i), nullptr, &flags, nullptr, nullptr, &name, nullptr, nullptr)))
        continue;
      names.push_back(Utf16ToUtf8(name));
      CoTaskMemFree(name);
      if (flags & AMSTREAMSELECTINFO_ENABLED) m_audioTrackIndex = static_cast<int>(i);
    }
  }
  m_menu.SetAudioTracks(names);
  SetMonitorField(CInfoPane::IDC_TRACK, TrackText());
}

void CCorvaneDlg::OnOutputDvrMs() {
  m_outputKind = OutputKind::DvrMs;
  m_ac3AnalyzerInUse = m_settings->m_ac3Filter;
  m_menu.CheckOutput(ID_OUTPUT_DVRMS);
}

void CCorvaneDlg::AutoSelectMultiplexer() {
  m_multiplexerInUse = ::MultiplexerInUse(m_settings->m_muxerFilter);
  if (!m_multiplexerInUse.empty()) {
    m_outputKind = OutputKind::ProgramStream;
    m_menu.CheckOutput(ID_OUTPUT_MPG);
  } else {
    ReportMessage("No MPEG-2 Multiplexer installed. Cannot use MPEG-2 program stream output.");
  }
}

void CCorvaneDlg::OnOutputMpg() { AutoSelectMultiplexer(); }

void CCorvaneDlg::OnOutputTs() {
  if (m_inputKind != InputKind::TransportStream) OnOutputMpg();
  m_outputKind = OutputKind::TransportStream;
  m_menu.CheckOutput(ID_OUTPUT_TS);
}

void CCorvaneDlg::OnDemux(int outputKind) {
  m_outputKind = outputKind;
  m_menu.CheckOutput(outputKind == OutputKind::DemuxRaw ? ID_DEMUX_RAW : ID_DEMUX_RIFF);
}

void CCorvaneDlg::OnSelectAudio(int value) {
  const int index = value > 10 ? value - static_cast<int>(ID_AUDIO_TRACK_FIRST) : value;
  m_audioTrackIndex = index;
  if (m_player && FAILED(m_player->SetCurrentAudioLanguageIndex(index + 1)))
    LogMessage("%s", "Error in OnSelectAudio\n");
}

void CCorvaneDlg::OnStartConversion() {
  m_startTime = std::time(nullptr);
  if (m_player) m_player->Stop();
  if (m_pane) {
    m_markIn = m_pane->MarkIn();
    m_markOut = m_pane->MarkOut();
  }
  CreateMonitorPanel();

  if (IsOutputKind(m_outputKind)) m_outputPath = StemOf(m_outputPath) + kStartExtensions[m_outputKind];
  if (strcasecmp(m_outputPath.c_str(), m_inputPath.c_str()) == 0) {
    const std::size_t dot = m_outputPath.rfind('.');
    if (dot != std::string::npos) {
      const std::string extension = m_outputPath.substr(dot);
      m_outputPath = m_outputPath.substr(0, dot) + "(" + extension.substr(1) + ")" + extension;
    }
    if (m_outputKind == OutputKind::DvrMs) {
      ReportMessage("Cannot convert DVR-MS to DVR-MS in one step. Convert to MPG first.");
      return;
    }
  }
  SetMonitorField(CInfoPane::IDC_OUTPUT_FILE, m_outputPath);
  if (IsOutputKind(m_outputKind)) SetMonitorField(CInfoPane::IDC_OUTPUT_FORMAT, kFormatTexts[m_outputKind]);

  const HRESULT status = m_graph->BuildConversionGraph(m_outputPath, m_inputKind, m_outputKind, m_multiplexerInUse,
                                                       m_ac3AnalyzerInUse, m_hd, m_h264);
  if (status == REGDB_E_CLASSNOTREG) LogMessage("%s", "Cause: Gallowin not registered, attempting to register..\n");
  if (FAILED(status)) {
    ReportBuildFailure(status);
    return;
  }
  LogFilterVersions();

  if (ComPtr<ITsSourceInfo> info = m_graph->SourceInfo()) {
    if (auto streams = info.As<IAMStreamSelect>()) streams->Enable(m_audioTrackIndex, AMSTREAMSELECTENABLE_ENABLE);
    if (m_outputKind == OutputKind::ProgramStream) {
      char key[48];
      std::snprintf(key, sizeof key, "NOTIFYWND(%ld)", static_cast<long>(reinterpret_cast<std::intptr_t>(m_hWnd)));
      SendSourceCommand(info.Get(), key);
    }
  }
  if (m_prepareOnly) {
    SetUiState(UI_READY_TO_CONVERT);
    m_menu.EnableCommand(ID_START_CONVERSION, false);
    m_menu.EnableCommand(ID_PAUSE, true);
    m_menu.EnableCommand(ID_STOP, true);
    return;
  }
  StartRunning(false);
}

void CCorvaneDlg::LogFilterVersions() {
  LogMessage("%s", "Conversion starting..\n");
  LogMessage("%s", "Filters in use:\n");
  LogMessage("Media Player Version: %s\n", m_player ? m_player->VersionInfo().c_str() : "");
  LogMessage("Flumetta Version: %s\n", m_flumettaVersion.c_str());
  m_gallowinVersion = VendorInfo(m_graph->MainDump());
  if (m_gallowinVersion == "1.0.0.0")
    ReportMessage("You are using Gallowin Version 1.0.0. This program requires version 1.2.0 or later.");
  if (m_gallowinVersion == "1.1.0.0")
    ReportMessage("You are using Gallowin Version 1.1.0. This program requires version 1.2.0 or later.");
  m_ambrelVersion = VendorInfo(m_graph->WavWriter());
  if (!m_gallowinVersion.empty()) LogMessage("Gallowin Version: %s\n", m_gallowinVersion.c_str());
  if (!m_ambrelVersion.empty()) LogMessage("Ambrel Version: %s\n", m_ambrelVersion.c_str());
  if (!m_multiplexerInUse.empty()) LogMessage("MPEG-2 Multiplexer: %s\n", m_multiplexerInUse.c_str());
  if (!m_ac3AnalyzerInUse.empty()) LogMessage("AC3 Analyzer: %s\n", m_ac3AnalyzerInUse.c_str());
}

bool CCorvaneDlg::StartRunning(bool fromPause) {
  const HRESULT status = m_graph->StartOutput(m_outputPath, WithLead(m_markIn), WithLead(m_markOut));
  if (FAILED(status)) {
    // The graph did not run, so no completion will ever come: say so (a quiet run then ends).
    if (!m_graph->ReportedStartFailure()) {
      char text[1024];
      std::snprintf(text, sizeof text, "Could not start the conversion. (HRESULT = %08x)\nCause: %s\nOutput: %s",
                    static_cast<unsigned>(status), ErrorText(status).c_str(), m_outputPath.c_str());
      ReportMessage(text);
    }
    return false;
  }
  SetUiState(UI_CONVERTING);
  m_startTick = GetTickCount();
  m_menu.EnableCommand(ID_START_CONVERSION, false);
  m_menu.EnableCommand(ID_PAUSE, fromPause);
  m_menu.EnableCommand(ID_STOP, true);
  return true;
}

void CCorvaneDlg::OnPause() {
  if (!m_prepareOnly) {
    m_prepareOnly = true;
    OnStartConversion();
    return;
  }
  m_prepareOnly = false;
  StartRunning(true);
}
