#include "tests/tsfilter/graph/FlumettaGraph.h"

#include <chrono>
#include <thread>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/module.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Guids.h"
#include "platform/registry/registry.h"
#include "shared/ClassIds.h"

namespace flumgraph {
namespace {

constexpr CLSID CLSID_DumpFilter = MakeGuid("{C16F5100-FD54-448E-BD99-E10CA5C088BC}");
constexpr const char* kSettingsKey = "Software\\Orvanet\\Flumetta";

HMODULE LoadAndRegister(const char* name, std::string& problem) {
  HMODULE module = LoadLibrary(name);
  if (!module) {
    problem = std::string(name) + " could not be loaded: " + LastLibraryError();
    return nullptr;
  }
  auto registerServer = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(module, "DllRegisterServer"));
  if (!registerServer || FAILED(registerServer())) problem = std::string(name) + " could not register itself";
  return module;
}

ComPtr<IBaseFilter> Create(const CLSID& clsid) {
  ComPtr<IBaseFilter> filter;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf()));
  return filter;
}

ComPtr<IPin> PinOf(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  if (filter) filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

}  // namespace

Modules::Modules() {
  m_flumetta = LoadAndRegister("Flumetta.ax", m_problem);
  if (m_problem.empty()) m_dump = LoadAndRegister("Gallowin.ax", m_problem);
}

// The modules stay loaded: filters made from them may outlive this object in a failing test.
Modules::~Modules() = default;

void WriteSetting(const char* name, std::uint32_t value) {
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, name, value);
}

std::u16string FirstExistingPin(IBaseFilter* filter, std::initializer_list<const char16_t*> names) {
  for (const char16_t* name : names) {
    if (PinOf(filter, name)) return name;
  }
  return {};
}

FlumettaGraph::~FlumettaGraph() { TearDown(); }

HRESULT FlumettaGraph::OpenSource(const std::string& input) {
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(graph.GetAddressOf()));
  if (FAILED(hr)) return hr;
  source = Create(CLSID_Flumetta);
  if (!source) return REGDB_E_CLASSNOTREG;
  // The converter's order: the source joins the graph (reading its settings), then loads the file.
  if (FAILED(hr = graph->AddFilter(source.Get(), u"Orvanet Flumetta"))) return hr;
  ComPtr<IFileSourceFilter> file;
  if (FAILED(hr = source->QueryInterface(IID_PPV_ARGS(file.GetAddressOf())))) return hr;
  return file->Load(Utf8ToUtf16(input).c_str(), nullptr);
}

HRESULT FlumettaGraph::Open(const std::string& input) {
  HRESULT hr = OpenSource(input);
  if (FAILED(hr)) return hr;
  demux = Create(CLSID_MPEG2Demultiplexer);
  if (!demux) return REGDB_E_CLASSNOTREG;
  if (FAILED(hr = graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer"))) return hr;
  ComPtr<IPin> out = PinOf(source.Get(), u"TS Out");
  ComPtr<IPin> in = PinOf(demux.Get(), u"MPEG-2 Stream");
  if (!out || !in) return VFW_E_NOT_FOUND;
  if (FAILED(hr = graph->ConnectDirect(out.Get(), in.Get(), nullptr))) return hr;
  m_outputs.videoPin = FirstExistingPin(demux.Get(), {u"Video", u"H.264"});
  m_outputs.audioPin = FirstExistingPin(demux.Get(), {u"Audio", u"AC3", u"AAC"});
  return S_OK;
}

HRESULT FlumettaGraph::AddDump(const std::string& path, IPin* from) {
  ComPtr<IBaseFilter> dump = Create(CLSID_DumpFilter);
  if (!dump || !from) return E_FAIL;
  HRESULT hr = graph->AddFilter(dump.Get(), Utf8ToUtf16(path).c_str());
  if (FAILED(hr)) return hr;
  ComPtr<IFileSinkFilter> sink;
  if (FAILED(hr = dump->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf())))) return hr;
  if (FAILED(hr = sink->SetFileName(Utf8ToUtf16(path).c_str(), nullptr))) return hr;
  ComPtr<IPin> in = PinOf(dump.Get(), u"Input");
  if (!in) return VFW_E_NOT_FOUND;
  return graph->ConnectDirect(from, in.Get(), nullptr);
}

HRESULT FlumettaGraph::WriteOutputs(const std::string& videoOut, const std::string& audioOut) {
  if (m_outputs.videoPin.empty() || m_outputs.audioPin.empty()) return VFW_E_NOT_FOUND;
  HRESULT hr = AddDump(videoOut, PinOf(demux.Get(), m_outputs.videoPin.c_str()).Get());
  if (FAILED(hr)) return hr;
  return AddDump(audioOut, PinOf(demux.Get(), m_outputs.audioPin.c_str()).Get());
}

LONG FlumettaGraph::RunToCompletion(int timeoutSeconds) {
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEventEx> events;
  if (FAILED(graph->QueryInterface(IID_PPV_ARGS(control.GetAddressOf()))) ||
      FAILED(graph->QueryInterface(IID_PPV_ARGS(events.GetAddressOf()))))
    return 0;
  if (FAILED(control->Run())) return 0;
  LONG code = 0;
  if (FAILED(events->WaitForCompletion(timeoutSeconds * 1000, &code))) code = 0;
  control->Stop();
  return code;
}

void FlumettaGraph::TearDown() {
  if (!graph) return;
  ComPtr<IMediaControl> control;
  if (SUCCEEDED(graph->QueryInterface(IID_PPV_ARGS(control.GetAddressOf())))) control->Stop();
  ComPtr<IEnumFilters> filters;
  std::vector<ComPtr<IBaseFilter>> all;
  if (SUCCEEDED(graph->EnumFilters(filters.GetAddressOf()))) {
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) all.push_back(filter);
  }
  for (auto& filter : all) graph->RemoveFilter(filter.Get());
  demux.Reset();
  source.Reset();
  graph.Reset();
}

std::string FlumettaGraph::Attribute(const std::string& key) {
  ComPtr<ITsSourceInfo> info;
  if (!source || FAILED(source->QueryInterface(IID_PPV_ARGS(info.GetAddressOf())))) return {};
  LPWSTR answer = nullptr;
  if (FAILED(info->GetAttribute(Utf8ToUtf16(key).c_str(), &answer)) || !answer) return {};
  std::string text = Utf16ToUtf8(answer);
  CoTaskMemFree(answer);
  return text;
}

}  // namespace flumgraph
