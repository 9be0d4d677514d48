#include "tests/platform/filters/streambuffer/DvrGraph.h"

#include <unistd.h>

#include "platform/com/activation.h"
#include "platform/com/module.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Guids.h"
#include "shared/ClassIds.h"

namespace dvrtest {
namespace {

std::string LoadAndRegister(const char* name) {
  HMODULE module = LoadLibrary(name);
  if (!module) return std::string(name) + " could not be loaded: " + LastLibraryError();
  auto registerServer = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(module, "DllRegisterServer"));
  if (!registerServer || FAILED(registerServer())) return std::string(name) + " could not register itself";
  return {};
}

std::u16string FilterName(IBaseFilter* filter) {
  FILTER_INFO info{};
  if (FAILED(filter->QueryFilterInfo(&info))) return {};
  if (info.pGraph) info.pGraph->Release();
  return info.achName;
}

// The seek positions as the converter applies them: only when one is set, through the source's
// own IMediaSeeking, and the graph paused before or after.
void ApplyPositions(Graph& g, IBaseFilter* source, std::int32_t startMs, std::int32_t stopMs, bool beforePause) {
  if (startMs == 0 && stopMs == 0) return;
  if (!beforePause) g.control->Pause();
  ComPtr<IMediaSeeking> seeking;
  if (SUCCEEDED(source->QueryInterface(IID_PPV_ARGS(seeking.GetAddressOf())))) {
    LONGLONG start = LONGLONG{startMs} * 10000, stop = LONGLONG{stopMs} * 10000;
    seeking->SetPositions(&start, startMs ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning, &stop,
                          stopMs ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
  }
  if (beforePause) g.control->Pause();
}

}  // namespace

std::string RegisterModules() {
  std::string problem = LoadAndRegister("Flumetta.ax");
  return problem.empty() ? LoadAndRegister("Gallowin.ax") : problem;
}

HRESULT DisconnectBoth(IPin* pin) {
  if (!pin) return E_POINTER;
  ComPtr<IPin> peer;
  pin->ConnectedTo(peer.GetAddressOf());
  HRESULT hr = pin->Disconnect();
  if (peer) peer->Disconnect();
  return hr;
}

Graph::Graph() {
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(graph.GetAddressOf()));
  if (!graph) return;
  graph->QueryInterface(IID_PPV_ARGS(control.GetAddressOf()));
  graph->QueryInterface(IID_PPV_ARGS(events.GetAddressOf()));
  graph->QueryInterface(IID_PPV_ARGS(seeking.GetAddressOf()));
}

Graph::~Graph() { TearDown(); }

ComPtr<IBaseFilter> Graph::Add(REFCLSID clsid, const std::u16string& name) {
  ComPtr<IBaseFilter> filter;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf()));
  if (filter && FAILED(graph->AddFilter(filter.Get(), name.c_str()))) filter.Reset();
  return filter;
}

ComPtr<IBaseFilter> Graph::AddDump(const std::string& path) {
  ComPtr<IBaseFilter> dump = Add(kDumpFilter, path.empty() ? u"tee audio dump" : Utf8ToUtf16(path));
  if (!dump || path.empty()) return dump;
  ComPtr<IFileSinkFilter> sink;
  if (SUCCEEDED(dump->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf())))) sink->SetFileName(Utf8ToUtf16(path).c_str(), nullptr);
  return dump;
}

ComPtr<IPin> Graph::Pin(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  if (filter) filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

LONG Graph::RunToCompletion(int timeoutSeconds) {
  if (!control || FAILED(control->Run())) return 0;
  LONG code = 0;
  for (int waited = 0; waited < timeoutSeconds * 10 && code == 0; ++waited) {
    LONG event = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (events->GetEvent(&event, &p1, &p2, 100) != S_OK) continue;
    m_events.push_back(event);
    if (event == EC_COMPLETE || event == EC_ERRORABORT || event == EC_USERABORT) code = event;
    events->FreeEventParams(event, p1, p2);
  }
  control->Stop();
  return code;
}

std::vector<LONG> Graph::EventCodes() {
  LONG event = 0;
  LONG_PTR p1 = 0, p2 = 0;
  while (events && events->GetEvent(&event, &p1, &p2, 0) == S_OK) {
    m_events.push_back(event);
    events->FreeEventParams(event, p1, p2);
  }
  return m_events;
}

void Graph::TearDown() {
  if (!graph) return;
  control->Stop();
  ComPtr<IEnumFilters> filters;
  std::vector<ComPtr<IBaseFilter>> all;
  if (SUCCEEDED(graph->EnumFilters(filters.GetAddressOf()))) {
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) all.push_back(filter);
  }
  for (auto& filter : all) graph->RemoveFilter(filter.Get());
  seeking.Reset();
  events.Reset();
  control.Reset();
  graph.Reset();
}

std::string DescribeInputs(IBaseFilter* filter) {
  std::string text;
  ComPtr<IEnumPins> pins;
  if (!filter || FAILED(filter->EnumPins(pins.GetAddressOf()))) return text;
  for (ComPtr<IPin> pin; pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    PIN_INFO info{};
    pin->QueryPinInfo(&info);
    if (info.pFilter) info.pFilter->Release();
    ComPtr<IPin> peer;
    if (info.dir != PINDIR_INPUT || FAILED(pin->ConnectedTo(peer.GetAddressOf()))) continue;
    PIN_INFO peerInfo{};
    peer->QueryPinInfo(&peerInfo);
    ComPtr<IBaseFilter> upstream;
    upstream.Attach(peerInfo.pFilter);
    if (!text.empty()) text += ",";
    text += Utf16ToUtf8(info.achName) + "<-" + Utf16ToUtf8(FilterName(upstream.Get()));
  }
  return text;
}

RecordResult RecordTransportStream(const std::string& input, const std::string& output, const RecordOptions& options,
                                   const std::string& teeDumpPath) {
  RecordResult result;
  Graph g;
  ComPtr<IBaseFilter> source = g.Add(CLSID_Flumetta, Utf8ToUtf16(input));
  ComPtr<IFileSourceFilter> file;
  if (!source || FAILED(source->QueryInterface(IID_PPV_ARGS(file.GetAddressOf()))) ||
      FAILED(result.build = file->Load(Utf8ToUtf16(input).c_str(), nullptr))) {
    if (SUCCEEDED(result.build)) result.build = E_FAIL;
    return result;
  }
  ComPtr<IBaseFilter> demux = g.Add(CLSID_MPEG2Demultiplexer, u"MPEG-2 Demultiplexer");
  ComPtr<IBaseFilter> analyzer;
  if (options.analyzer) analyzer = g.Add(CLSID_MPEG2VideoAnalyzer, u"MPEG-2 Video Analyzer Filter");
  ComPtr<IBaseFilter> sink = g.Add(CLSID_StreamBufferSink, u"StreamBufferSink");
  if (!demux || !sink || (options.analyzer && !analyzer)) {
    result.build = E_FAIL;
    return result;
  }
  g.graph->Render(Graph::Pin(source.Get(), u"1").Get());

  // The audio tee between the demultiplexer's audio pin and the sink.
  ComPtr<IBaseFilter> tee = g.Add(CLSID_InfTee, u"Smart Tee");
  DisconnectBoth(Graph::Pin(sink.Get(), u"DVR In - 1").Get());
  ComPtr<IPin> audio;
  for (const char16_t* name : {u"Audio", u"AC3", u"AC-3", u"Mpeg-1"}) {
    if ((audio = Graph::Pin(demux.Get(), name))) break;
  }
  if (audio) {
    DisconnectBoth(audio.Get());
    g.graph->Render(audio.Get());
  }
  if (options.teeDump) {
    g.AddDump(teeDumpPath);
    ComPtr<IPin> second = Graph::Pin(tee.Get(), u"Output2");
    if (second) {
      DisconnectBoth(second.Get());
      g.graph->Render(second.Get());
    }
  }
  // The analyzer in front of the sink.
  DisconnectBoth(Graph::Pin(sink.Get(), u"DVR In - 2").Get());
  ComPtr<IPin> video = Graph::Pin(demux.Get(), u"Video");
  if (analyzer) {
    if (video) {
      DisconnectBoth(video.Get());
      g.graph->Connect(video.Get(), Graph::Pin(analyzer.Get(), u"in").Get());
    }
    g.graph->Render(Graph::Pin(analyzer.Get(), u"out").Get());
  }
  result.sinkInputs = DescribeInputs(sink.Get());

  // StartOutput's DVR-MS branch.
  ComPtr<IStreamBufferSink> buffer;
  if (FAILED(result.build = sink->QueryInterface(IID_PPV_ARGS(buffer.GetAddressOf())))) return result;
  buffer->LockProfile(nullptr);
  ComPtr<IUnknown> recorder;
  result.recorder = buffer->CreateRecorder(Utf8ToUtf16(output).c_str(), RECORDING_TYPE_CONTENT, recorder.GetAddressOf());
  if (!recorder) {
    ::unlink(output.c_str());
    result.recorder = buffer->CreateRecorder(Utf8ToUtf16(output).c_str(), RECORDING_TYPE_CONTENT, recorder.GetAddressOf());
  }
  ComPtr<IStreamBufferRecordControl> record;
  if (!recorder || FAILED(recorder->QueryInterface(IID_PPV_ARGS(record.GetAddressOf())))) return result;
  ApplyPositions(g, source.Get(), options.startMs, options.stopMs, options.positionsBeforePause);
  if (SUCCEEDED(g.control->Run())) {
    REFERENCE_TIME start = 0;
    record->Start(&start);
  }
  result.completion = g.RunToCompletion();
  // StopGraph: the graph is stopped (above), then the recorder.
  record->Stop(0);
  HRESULT status = S_OK;
  record->GetRecordingStatus(&status, &result.started, &result.stopped);
  result.recordingStatus = status;
  return result;
}

LONG PlayToElementaryStreams(const std::string& input, const std::string& videoOut, const std::string& audioOut,
                             std::int32_t startMs, std::int32_t stopMs) {
  Graph g;
  ComPtr<IBaseFilter> source = g.Add(CLSID_StreamBufferSource, Utf8ToUtf16(input));
  ComPtr<IFileSourceFilter> file;
  if (!source || FAILED(source->QueryInterface(IID_PPV_ARGS(file.GetAddressOf()))) ||
      FAILED(file->Load(Utf8ToUtf16(input).c_str(), nullptr))) {
    return 0;
  }
  g.AddDump(videoOut);
  g.AddDump(audioOut);
  ComPtr<IPin> videoPin, audioPin;
  ComPtr<IEnumPins> pins;
  source->EnumPins(pins.GetAddressOf());
  for (ComPtr<IPin> pin; pins && pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(types.GetAddressOf()))) continue;
    for (AM_MEDIA_TYPE* type = nullptr; types->Next(1, &type, nullptr) == S_OK; type = nullptr) {
      if (type->majortype == MEDIATYPE_Video) videoPin = pin;
      if (type->majortype == MEDIATYPE_Audio) audioPin = pin;
      DeleteMediaType(type);
    }
  }
  if (audioPin) g.graph->Render(audioPin.Get());
  if (videoPin) g.graph->Render(videoPin.Get());
  ApplyPositions(g, source.Get(), startMs, stopMs, true);
  return g.RunToCompletion();
}

}  // namespace dvrtest
