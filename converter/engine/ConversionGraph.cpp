#include "converter/engine/ConversionGraph.h"

#include <cstdio>

#include "converter/engine/CheckPoint.h"
#include "converter/engine/ConversionLog.h"
#include "converter/engine/FilterCatalogue.h"
#include "converter/engine/InputKind.h"
#include "converter/engine/MessageReporter.h"
#include "platform/com/activation.h"
#include "platform/com/moniker.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/ErrorText.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Guids.h"
#include "platform/win/system.h"
#include "shared/ClassIds.h"

namespace {

constexpr DWORD kErrorTextLimit = 2048;  // the platform's error text, at most 2047 characters

// The source filter's class for an input kind.
const CLSID& SourceClassFor(int inputKind) {
  switch (inputKind) {
    case InputKind::DvrMs: return CLSID_StreamBufferSource;
    case InputKind::TransportStream: return CLSID_Flumetta;
    case InputKind::Dvd: return CLSID_DVDNavigator;
    default: return CLSID_AsyncReader;
  }
}

}  // namespace

ConversionGraph::ConversionGraph(HWND notifyWindow) : m_notifyWindow(notifyWindow) {}

ConversionGraph::~ConversionGraph() { TearDownGraph(); }

bool ConversionGraph::CheckStep(HRESULT status, int checkPoint) {
  if (FAILED(status)) LogMessage("Graph build failed at check point: %s\n", CheckPointName(checkPoint));
  m_lastCheckPoint = checkPoint;
  m_checkPointTrail.push_back(checkPoint);
  return FAILED(status);
}

HRESULT ConversionGraph::AddFilterByClsid(REFCLSID clsid, ComPtr<IBaseFilter>& slot, const std::string& name) {
  m_lastFilterName = name;
  m_lastStatus = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(slot.ReleaseAndGetAddressOf()));
  if (FAILED(m_lastStatus)) return m_lastStatus;
  if (!m_graph) {
    LogMessage("Graphbuilder is null. Cannot continue\n");
    return E_POINTER;
  }
  m_lastStatus = m_graph->AddFilter(slot.Get(), Utf8ToUtf16(name).c_str());
  if (CheckStep(m_lastStatus, CheckPoint::AddFilter)) {
    char cause[kErrorTextLimit];
    AMGetErrorText(m_lastStatus, cause, sizeof cause);
    char text[kErrorTextLimit + 512];
    std::snprintf(text, sizeof text, "Failed to add %s to DirectX graph\nCause: %s\n", name.c_str(), cause);
    ReportMessage(text);
  } else {
    LogMessage("%s successfully added to graph\n", name.c_str());
  }
  return m_lastStatus;
}

HRESULT ConversionGraph::AddFilterFromSpec(const std::string& spec, ComPtr<IBaseFilter>& slot) {
  // A spec without a comma names no class: both parts are empty then.
  const bool named = spec.find(',') != std::string::npos;
  CLSID clsid = GUID_NULL;
  // A text that does not convert leaves the all-zero class, whose creation fails.
  CLSIDFromString(Utf8ToUtf16(named ? FilterSpecClass(spec) : std::string()).c_str(), &clsid);
  return AddFilterByClsid(clsid, slot, named ? FilterSpecName(spec) : std::string());
}

HRESULT ConversionGraph::LoadSource(const std::string& path, int inputKind) {
  if (!m_graph) {
    m_lastStatus = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(m_graph.ReleaseAndGetAddressOf()));
    if (CheckStep(m_lastStatus, CheckPoint::GraphBuilder)) return m_lastStatus;
    if (m_tableFlag) RegisterInRot();
  }
  HRESULT hr = AddFilterByClsid(SourceClassFor(inputKind), m_source, path);
  if (CheckStep(hr, CheckPoint::AddPump)) return hr;

  if (auto file = m_source.As<IFileSourceFilter>()) {
    LogMessage("Loading media: %s\n", path.c_str());
    m_lastStatus = file->Load(Utf8ToUtf16(path).c_str(), nullptr);
    return m_lastStatus;
  }
  if (auto dvd = m_source.As<IDvdControl2>()) {
    LogMessage("Loading dvd: %s\n", path.c_str());
    m_lastStatus = dvd->SetDVDDirectory(Utf8ToUtf16(path).c_str());
    // The graph message that follows gives only the status: say what is wrong with the title set.
    if (FAILED(m_lastStatus)) {
      char cause[kErrorTextLimit];
      AMGetErrorText(m_lastStatus, cause, sizeof cause);
      char text[kErrorTextLimit + 512];
      std::snprintf(text, sizeof text, "Failed to load %s\nCause: %s\n", path.c_str(), cause);
      ReportMessage(text);
    }
    return m_lastStatus;
  }
  return hr;
}

HRESULT ConversionGraph::RegisterInRot() {
  ComPtr<IRunningObjectTable> table;
  m_lastStatus = GetRunningObjectTable(0, table.GetAddressOf());
  if (CheckStep(m_lastStatus, CheckPoint::Rot)) return E_FAIL;
  char item[64];
  std::snprintf(item, sizeof item, "FilterGraph %08x pid %08x",
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(m_graph.Get())),
                static_cast<unsigned>(GetCurrentProcessId()));
  ComPtr<IMoniker> moniker;
  m_lastStatus = CreateItemMoniker(u"!", Utf8ToUtf16(item).c_str(), moniker.GetAddressOf());
  if (FAILED(m_lastStatus)) return m_lastStatus;
  if (m_tableCookie) table->Revoke(m_tableCookie);  // a graph is registered once
  m_tableCookie = 0;
  m_lastStatus = table->Register(0, m_graph.Get(), moniker.Get(), &m_tableCookie);
  if (SUCCEEDED(m_lastStatus)) LogMessage("Graph added to running objects table\n");
  return m_lastStatus;
}

void ConversionGraph::TearDownGraph() {
  if (m_tableFlag && m_tableCookie) {
    ComPtr<IRunningObjectTable> table;
    if (SUCCEEDED(GetRunningObjectTable(0, table.GetAddressOf()))) table->Revoke(m_tableCookie);
    LogMessage("%s", "Graph removed for running objects table\n");
  }
  m_tableCookie = 0;
  if (m_graph) {
    // The multiplexer and the AC3 filter leave with the rest, so no filter outlives its graph
    // still connected to the others.
    for (IBaseFilter* filter : {m_demux.Get(), m_streamBufferSink.Get(), m_audioTee.Get(), m_mainDump.Get(),
                                m_demuxAudioDump.Get(), m_teeAudioDump.Get(), m_wavWriter.Get(), m_videoAnalyzer.Get(),
                                m_multiplexer.Get(), m_ac3Filter.Get(), m_source.Get()}) {
      if (filter) m_graph->RemoveFilter(filter);
    }
  }
  m_recorder.Reset();
  for (ComPtr<IBaseFilter>* slot : {&m_source, &m_demux, &m_streamBufferSink, &m_multiplexer, &m_videoAnalyzer,
                                    &m_mainDump, &m_demuxAudioDump, &m_teeAudioDump, &m_wavWriter, &m_audioTee,
                                    &m_ac3Filter}) {
    slot->Reset();
  }
  m_mediaControl.Reset();
  m_mediaSeeking.Reset();
  m_mediaEvents.Reset();
  m_graph.Reset();
  m_checkPointTrail.clear();
}

std::vector<std::string> ConversionGraph::OutputFiles() const {
  std::vector<std::string> files;
  for (IBaseFilter* dump : {m_mainDump.Get(), m_demuxAudioDump.Get()}) {
    ComPtr<IFileSinkFilter> sink;
    if (!dump || FAILED(dump->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf())))) continue;
    LPWSTR name = nullptr;
    if (sink->GetCurFile(&name, nullptr) == S_OK && name) files.push_back(Utf16ToUtf8(name));
    CoTaskMemFree(name);
  }
  return files;
}

ComPtr<ITsSourceInfo> ConversionGraph::SourceInfo() const {
  return m_source ? m_source.As<ITsSourceInfo>() : ComPtr<ITsSourceInfo>();
}

HRESULT ConversionGraph::Render(IPin* pin) {
  m_lastStatus = m_graph && pin ? m_graph->Render(pin) : E_POINTER;
  return m_lastStatus;
}

HRESULT ConversionGraph::Disconnect(IPin* pin) {
  if (!pin) return m_lastStatus;
  // A connection is broken at both ends, so either pin can be connected anew.
  ComPtr<IPin> peer;
  if (SUCCEEDED(pin->ConnectedTo(peer.GetAddressOf())) && peer) peer->Disconnect();
  m_lastStatus = pin->Disconnect();
  return m_lastStatus;
}

HRESULT ConversionGraph::ConnectPins(IPin* out, IPin* in) {
  m_lastStatus = out && in ? out->Connect(in, nullptr) : E_POINTER;
  return m_lastStatus;
}
