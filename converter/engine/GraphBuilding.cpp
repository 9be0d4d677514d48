// BuildConversionGraph: the filters each pair of input and output kind needs, and their wiring.
// Rendering a pin lets the graph connect it to a suitable filter already in the graph, which is
// how the writers added beforehand get their inputs; the splices afterwards (audio tee, video
// analyzer) break and remake single connections.
#include <cstdio>

#include "converter/engine/CheckPoint.h"
#include "converter/engine/ConversionGraph.h"
#include "converter/engine/ConversionLog.h"
#include "converter/engine/InputKind.h"
#include "converter/engine/MultiplexerConfig.h"
#include "converter/engine/OutputKind.h"
#include "converter/engine/PathText.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Guids.h"
#include "shared/ClassIds.h"

namespace {

constexpr CLSID CLSID_DumpFilter = MakeGuid("{C16F5100-FD54-448E-BD99-E10CA5C088BC}");

ComPtr<IPin> FindPin(IBaseFilter* filter, const char16_t* name) {
  ComPtr<IPin> pin;
  if (filter) filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

bool NeedsMultiplexer(int inputKind, int outputKind) {
  return outputKind == OutputKind::ProgramStream ||
         (outputKind == OutputKind::TransportStream && inputKind != InputKind::TransportStream);
}

bool HasTee(int outputKind) { return outputKind == OutputKind::DvrMs || outputKind == OutputKind::DemuxWav; }

HRESULT SetFileName(IBaseFilter* filter, const std::string& path, bool logIt) {
  ComPtr<IFileSinkFilter> sink;
  if (!filter || FAILED(filter->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf())))) return S_FALSE;
  if (logIt) LogMessage("Setting media sink for %s\n", path.c_str());
  return sink->SetFileName(Utf8ToUtf16(path).c_str(), nullptr);
}

// The major type of the first media type a pin offers that is video or audio.
GUID MajorTypeOfPin(IPin* pin) {
  ComPtr<IEnumMediaTypes> types;
  if (FAILED(pin->EnumMediaTypes(types.GetAddressOf())) || !types) return GUID_NULL;
  GUID found = GUID_NULL;
  AM_MEDIA_TYPE* type = nullptr;
  while (found == GUID_NULL && types->Next(1, &type, nullptr) == S_OK && type) {
    if (type->majortype == MEDIATYPE_Video || type->majortype == MEDIATYPE_Audio) found = type->majortype;
    DeleteMediaType(type);
    type = nullptr;
  }
  return found;
}

}  // namespace

ComPtr<IPin> ConversionGraph::SelectDemuxAudioPin(std::string* extension) {
  struct Candidate {
    const char16_t* pin;
    const char* extension;
  };
  static constexpr Candidate kCandidates[] = {
      {u"Audio", ".mpa"}, {u"AC3", ".ac3"}, {u"AC-3", ".ac3"}, {u"Mpeg-1", ".mpa"}};
  *extension = ".mpa";
  for (const Candidate& candidate : kCandidates) {
    if (ComPtr<IPin> pin = FindPin(m_demux.Get(), candidate.pin)) {
      *extension = candidate.extension;
      LogMessage("Muxer audio pin selected for %s format\n", extension->c_str());
      return pin;
    }
  }
  LogMessage("%s", "No supported audio pin found on muxer\n");
  return {};
}

HRESULT ConversionGraph::BuildConversionGraph(const std::string& outputPath, int inputKind, int outputKind,
                                              const std::string& multiplexerSpec, const std::string& ac3Spec, bool hd,
                                              bool h264) {
  if (m_mainDump || m_streamBufferSink) return S_OK;
  LogMessage("Building conversion graph. (format in = %d, format out = %d)\n", inputKind, outputKind);
  if (outputKind < OutputKind::DvrMs || outputKind > OutputKind::TransportStream) {
    // Nothing to write to: a graph without writers would "complete" at once with no output.
    LogMessage("%s", "No output format chosen\n");
    m_lastStatus = E_INVALIDARG;
    return m_lastStatus;
  }
  if (!m_graph || !m_source) {
    LogMessage("Graphbuilder is null. Cannot continue\n");
    m_lastStatus = E_POINTER;
    return m_lastStatus;
  }

  HRESULT hr = AddDemultiplexerStage(inputKind, outputKind, h264);
  if (FAILED(hr)) return hr;
  hr = AddOutputFilters(outputPath, inputKind, outputKind, multiplexerSpec);
  if (FAILED(hr)) return hr;
  if (NeedsMultiplexer(inputKind, outputKind)) WireMultiplexer(outputKind, hd);
  if (outputKind == OutputKind::DemuxRaw || outputKind == OutputKind::DemuxWav) {
    hr = AddDemuxAudioFile(outputPath, outputKind, h264);
    if (FAILED(hr)) return hr;
  }
  if (inputKind == InputKind::TransportStream && outputKind == OutputKind::TransportStream) PrepareTsToTs();

  ComPtr<IPin> videoPin;
  ComPtr<IPin> audioPin;
  RenderSource(&videoPin, &audioPin);
  if (outputKind == OutputKind::DemuxRaw || outputKind == OutputKind::DemuxWav)
    NameDemuxAudioFile(outputPath, outputKind, h264);

  if (HasTee(outputKind)) {
    std::string teeExtension;
    if (!SpliceAudioTee(outputKind, audioPin, &teeExtension)) return m_lastStatus;
    hr = AddTeeAudioDump(outputPath, teeExtension, ac3Spec);
    if (FAILED(hr)) return hr;
  }
  if (m_streamBufferSink) SpliceVideoAnalyzer(videoPin);
  TakeGraphInterfaces();
  return m_lastStatus;
}

HRESULT ConversionGraph::AddDemultiplexerStage(int inputKind, int outputKind, bool h264) {
  if (inputKind == InputKind::DvrMs ||
      (inputKind == InputKind::TransportStream && outputKind == OutputKind::TransportStream))
    return S_OK;
  HRESULT hr = AddFilterByClsid(CLSID_MPEG2Demultiplexer, m_demux, "MPEG-2 Demultiplexer");
  if (CheckStep(hr, CheckPoint::Demux)) return hr;
  if (h264) return S_OK;
  hr = AddFilterByClsid(CLSID_MPEG2VideoAnalyzer, m_videoAnalyzer, "MPEG-2 Video Analyzer Filter");
  CheckStep(hr, CheckPoint::VideoAnalyzer);
  return hr;
}

HRESULT ConversionGraph::AddOutputFilters(const std::string& outputPath, int inputKind, int outputKind,
                                          const std::string& multiplexerSpec) {
  HRESULT hr = S_OK;
  if (outputKind == OutputKind::DvrMs) {
    hr = AddFilterByClsid(CLSID_StreamBufferSink, m_streamBufferSink, "StreamBufferSink");
    CheckStep(hr, CheckPoint::Sbe);
    return hr;
  }
  if (NeedsMultiplexer(inputKind, outputKind)) {
    hr = AddFilterFromSpec(multiplexerSpec, m_multiplexer);
    if (CheckStep(hr, CheckPoint::ClMux)) return hr;
  }
  hr = AddFilterByClsid(CLSID_DumpFilter, m_mainDump, FilePartOf(outputPath));
  if (CheckStep(hr, CheckPoint::Dumper)) return hr;
  const HRESULT named = SetFileName(m_mainDump.Get(), outputPath, true);
  if (named != S_FALSE) m_lastStatus = named;
  return S_OK;
}

void ConversionGraph::WireMultiplexer(int outputKind, bool hd) {
  LogMessage("Selecting output format MPG\n");
  if (ComPtr<IPin> output = FindPin(m_multiplexer.Get(), u"Output")) {
    Disconnect(output.Get());
    ComPtr<IPin> input = FindPin(m_mainDump.Get(), u"Input");
    if (input && SUCCEEDED(ConnectPins(output.Get(), input.Get())))
      LogMessage("Muxer connected to dumper successfully\n");
  }
  ComPtr<outside::IMultiplexerConfig> config;
  if (FAILED(m_multiplexer->QueryInterface(IID_PPV_ARGS(config.GetAddressOf())))) return;
  if (hd) {
    LogMessage("Setting muxer for HDTV\n");
    config->SetOutputFormat(kMuxHdFormat);      // 6th
    config->SetVideoBitrate(kMuxHdVideoRate);   // 7th
    config->SetAudioBitrate(kMuxHdAudioRate);   // 8th
  }
  if (outputKind == OutputKind::TransportStream) {
    LogMessage("Setting muxer for TS\n");
    config->SetOutputFormat(kMuxTransportStream);  // 6th
  }
}

std::string ConversionGraph::DemuxAudioPath(const std::string& outputPath, int outputKind, bool h264) {
  std::string extension = ".ac3";
  if (m_demux && !h264) SelectDemuxAudioPin(&extension);
  std::string audioPath = StemOf(outputPath) + extension;
  if (outputKind == OutputKind::DemuxWav) audioPath += ".wav";
  return audioPath;
}

HRESULT ConversionGraph::AddDemuxAudioFile(const std::string& outputPath, int outputKind, bool h264) {
  LogMessage("%s", "Selecting demuxed output\n");
  const std::string audioPath = DemuxAudioPath(outputPath, outputKind, h264);
  HRESULT hr = AddFilterByClsid(CLSID_DumpFilter, m_demuxAudioDump, FilePartOf(audioPath));
  if (CheckStep(hr, CheckPoint::AudioDump)) return hr;
  if (outputKind == OutputKind::DemuxWav) {
    hr = AddFilterByClsid(CLSID_Ambrel, m_wavWriter, "Ambrel");
    if (CheckStep(hr, CheckPoint::Ambrel)) return hr;
  }
  const HRESULT named = SetFileName(m_demuxAudioDump.Get(), audioPath, false);
  if (named != S_FALSE) m_lastStatus = named;
  return S_OK;
}

void ConversionGraph::NameDemuxAudioFile(const std::string& outputPath, int outputKind, bool h264) {
  // The demultiplexer makes its pins only once the source is connected to it, so the audio
  // file is named again by the pin that now exists: AC3 must not go into a ".mpa" file.
  if (!m_demux || h264 || !m_demuxAudioDump) return;
  const std::string audioPath = DemuxAudioPath(outputPath, outputKind, h264);
  const HRESULT named = SetFileName(m_demuxAudioDump.Get(), audioPath, false);
  if (named != S_FALSE) m_lastStatus = named;
}

void ConversionGraph::PrepareTsToTs() {
  LogMessage("%s", "Selecting TS to TS conversion\n");
  ComPtr<ITsSourceInfo> info = SourceInfo();
  if (!info) return;
  char key[32];
  std::snprintf(key, sizeof key, "PREFDEMUX(%d)", 0);
  LPWSTR answer = nullptr;
  info->GetAttribute(Utf8ToUtf16(key).c_str(), &answer);
  CoTaskMemFree(answer);
}

void ConversionGraph::RenderSource(ComPtr<IPin>* videoPin, ComPtr<IPin>* audioPin) {
  ComPtr<IPin> sourcePin = FindPin(m_source.Get(), u"1");
  if (!sourcePin) sourcePin = FindPin(m_source.Get(), u"Output");
  if (sourcePin) {
    LogMessage("Rendering source media\n");
    Render(sourcePin.Get());
    return;
  }
  // The stream-buffer source: several numbered pins, told apart by their media types.
  LogMessage("%s", "Selection of video and audio pins from SBE source\n");
  ComPtr<IEnumPins> pins;
  if (SUCCEEDED(m_source->EnumPins(pins.GetAddressOf())) && pins) {
    for (ComPtr<IPin> pin; pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK && pin;) {
      const GUID major = MajorTypeOfPin(pin.Get());
      if (major == MEDIATYPE_Video) {
        LogMessage("%s", "Video pin found\n");
        *videoPin = pin;
      } else if (major == MEDIATYPE_Audio) {
        LogMessage("%s", "Audio pin found\n");
        *audioPin = pin;
      }
    }
  }
  LogMessage("Rendering audio (hr = %08x)\n", static_cast<unsigned>(Render(audioPin->Get())));
  LogMessage("Rendering video (hr = %08x)\n", static_cast<unsigned>(Render(videoPin->Get())));
}

bool ConversionGraph::SpliceAudioTee(int outputKind, ComPtr<IPin> audioPin, std::string* teeExtension) {
  HRESULT hr = AddFilterByClsid(CLSID_InfTee, m_audioTee, "Smart Tee");
  if (CheckStep(hr, CheckPoint::SmartTee)) return false;

  ComPtr<IPin> target;
  if (outputKind == OutputKind::DvrMs) {
    LogMessage("DVR-MS output selected\n");
    target = FindPin(m_streamBufferSink.Get(), u"DVR In - 1");
  } else {
    target = FindPin(m_wavWriter.Get(), u"In");
  }
  if (target && Disconnect(target.Get()) == S_OK) LogMessage("Disconnected audio pin to insert tee filter\n");

  teeExtension->clear();
  if (!audioPin && m_demux) audioPin = SelectDemuxAudioPin(teeExtension);
  if (!audioPin) return true;
  if (Disconnect(audioPin.Get()) == S_OK) LogMessage("Disconnected audio pin from muxer\n");
  if (SUCCEEDED(Render(audioPin.Get()))) LogMessage("Tee Output1 rendered successfully\n");
  return true;
}

HRESULT ConversionGraph::AddTeeAudioDump(const std::string& outputPath, const std::string& teeExtension,
                                         const std::string& ac3Spec) {
  HRESULT hr = AddFilterByClsid(CLSID_DumpFilter, m_teeAudioDump, FilePartOf(StemOf(outputPath) + teeExtension));
  if (CheckStep(hr, CheckPoint::AudioDump)) return hr;
  ComPtr<IPin> output = FindPin(m_audioTee.Get(), u"Output2");
  if (!output) return S_OK;
  if (Disconnect(output.Get()) == S_OK) LogMessage("Disconnected tee to insert dumper\n");
  if (teeExtension == ".ac3") {
    hr = AddFilterFromSpec(ac3Spec, m_ac3Filter);
    if (CheckStep(hr, CheckPoint::Ac3Filter)) {
      // An AC3 filter that cannot be added is left out; its audio goes to the dump directly.
      if (m_ac3Filter && m_graph) m_graph->RemoveFilter(m_ac3Filter.Get());
      m_ac3Filter.Reset();
    }
    if (m_ac3Filter) {
      ComPtr<IPin> input = FindPin(m_ac3Filter.Get(), u"In");
      if (input && SUCCEEDED(ConnectPins(output.Get(), input.Get()))) {
        LogMessage("Tee Output2 connected to AC3 filter\n");
        output = FindPin(m_ac3Filter.Get(), u"Out");
      }
    }
  }
  if (SUCCEEDED(Render(output.Get()))) LogMessage("Tee Output2 rendered successfully\n");
  return S_OK;
}

void ConversionGraph::SpliceVideoAnalyzer(ComPtr<IPin> videoPin) {
  ComPtr<IPin> sinkInput = FindPin(m_streamBufferSink.Get(), u"DVR In - 2");
  if (sinkInput && Disconnect(sinkInput.Get()) == S_OK) LogMessage("Disconnected SBE sink to insert video analyzer\n");
  if (!videoPin) videoPin = FindPin(m_demux.Get(), u"Video");
  if (!m_videoAnalyzer) return;
  if (videoPin) {
    if (Disconnect(videoPin.Get()) == S_OK) LogMessage("Disconnected video pin to insert video analyzer\n");
    ComPtr<IPin> input = FindPin(m_videoAnalyzer.Get(), u"in");
    if (input && SUCCEEDED(ConnectPins(videoPin.Get(), input.Get())))
      LogMessage("Video analyzer inserted successfully\n");
  }
  ComPtr<IPin> output = FindPin(m_videoAnalyzer.Get(), u"out");
  if (output && SUCCEEDED(Render(output.Get()))) LogMessage("Video analyzer output rendered successfully\n");
}

void ConversionGraph::TakeGraphInterfaces() {
  m_mediaControl = m_graph.As<IMediaControl>();
  m_mediaSeeking = m_graph.As<IMediaSeeking>();
  m_mediaEvents = m_graph.As<IMediaEventEx>();
  if (m_mediaEvents && m_notifyWindow)
    m_mediaEvents->SetNotifyWindow(static_cast<OAHWND>(m_notifyWindow), kGraphNotifyMessage, 0);
}
