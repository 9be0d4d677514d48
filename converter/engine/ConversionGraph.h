#pragma once
// ConversionGraph: the converter's one filter graph and the knowledge of how to wire it. For the
// current input it creates the graph and the source that suits the input kind (LoadSource); for
// a conversion it adds the demultiplexer, analyzer, multiplexer, writers and tee that the pair of
// input and output kind needs and connects them (BuildConversionGraph); it runs the graph between
// two positions (StartOutput), stops it (StopGraph) and drives the DVR-MS recorder.
//
// Every step that adds a filter is a numbered check point; a failing step is logged with its
// name, and the last check point reached is what the user sees when building fails.
//
// Used on the main window's thread only; graph events come back to the notify window as
// message 0x8001.
#include <string>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/win/types.h"
#include "shared/TsSourceInfo.h"

// The message the graph's events are posted with (WM_APP + 1), shared with the source's end notice.
inline constexpr UINT kGraphNotifyMessage = 0x8001;

class ConversionGraph {
 public:
  explicit ConversionGraph(HWND notifyWindow);
  ~ConversionGraph();
  ConversionGraph(const ConversionGraph&) = delete;
  ConversionGraph& operator=(const ConversionGraph&) = delete;

  // Logs a failure with the check point's name; records the check point in every case.
  // Returns true when status is a failure.
  bool CheckStep(HRESULT status, int checkPoint);
  // Creates the class into slot and adds it to the graph under name.
  HRESULT AddFilterByClsid(REFCLSID clsid, ComPtr<IBaseFilter>& slot, const std::string& name);
  // The same for a filter spec: friendly name, comma, class identifier in braces.
  HRESULT AddFilterFromSpec(const std::string& spec, ComPtr<IBaseFilter>& slot);

  // Creates the graph (when there is none) and the source for the input kind, and loads path.
  HRESULT LoadSource(const std::string& path, int inputKind);
  // The demultiplexer's audio pin ("Audio", "AC3", "AC-3" or "Mpeg-1") and the extension of the
  // audio file it gives (".mpa" or ".ac3"); no pin when there is none.
  ComPtr<IPin> SelectDemuxAudioPin(std::string* extension);
  // Adds and connects what the pair of input and output kind needs; 0 at once when built.
  HRESULT BuildConversionGraph(const std::string& outputPath, int inputKind, int outputKind,
                               const std::string& multiplexerSpec, const std::string& ac3Spec, bool hd, bool h264);
  HRESULT RegisterInRot();
  // Removes every filter, releases every reference and, last, the graph.
  void TearDownGraph();

  // Runs the built graph from start to stop (milliseconds, 0 = not set); for DVR-MS output it
  // creates and starts the recorder first.
  HRESULT StartOutput(const std::string& path, LONG startMs, LONG stopMs);
  // Stops the graph and, when one runs, the recorder.
  HRESULT StopGraph();

  // The table flag: register every graph in the running object table.
  void SetTableFlag(bool on) { m_tableFlag = on; }
  HRESULT LastStatus() const { return m_lastStatus; }
  int LastCheckPoint() const { return m_lastCheckPoint; }
  const std::string& LastFilterName() const { return m_lastFilterName; }
  // Every check point recorded since the graph was created, in order (for diagnostics and tests).
  const std::vector<int>& CheckPointTrail() const { return m_checkPointTrail; }

  // Accessors (empty when absent).
  ComPtr<ITsSourceInfo> SourceInfo() const;
  IBaseFilter* Source() const { return m_source.Get(); }
  IBaseFilter* MainDump() const { return m_mainDump.Get(); }
  IBaseFilter* WavWriter() const { return m_wavWriter.Get(); }
  IMediaSeeking* MediaSeeking() const { return m_mediaSeeking.Get(); }
  IMediaEventEx* MediaEvents() const { return m_mediaEvents.Get(); }
  IGraphBuilder* Graph() const { return m_graph.Get(); }
  IUnknown* Recorder() const { return m_recorder.Get(); }

 private:
  // Building steps, in the order BuildConversionGraph takes them.
  HRESULT AddDemultiplexerStage(int inputKind, int outputKind, bool h264);
  HRESULT AddOutputFilters(const std::string& outputPath, int inputKind, int outputKind,
                           const std::string& multiplexerSpec);
  void WireMultiplexer(int outputKind, bool hd);
  HRESULT AddDemuxAudioFile(const std::string& outputPath, int outputKind, bool h264);
  std::string DemuxAudioPath(const std::string& outputPath, int outputKind, bool h264);
  void NameDemuxAudioFile(const std::string& outputPath, int outputKind, bool h264);
  void PrepareTsToTs();
  void RenderSource(ComPtr<IPin>* videoPin, ComPtr<IPin>* audioPin);
  // Returns false when the tee could not be added (the rest of the build is skipped).
  bool SpliceAudioTee(int outputKind, ComPtr<IPin> audioPin, std::string* teeExtension);
  HRESULT AddTeeAudioDump(const std::string& outputPath, const std::string& teeExtension, const std::string& ac3Spec);
  void SpliceVideoAnalyzer(ComPtr<IPin> videoPin);
  void TakeGraphInterfaces();

  HRESULT StartRecording(const std::string& path, LONG startMs, LONG stopMs);
  void ApplyPositions(LONG startMs, LONG stopMs);

  // Graph operations whose statuses only change the last status.
  HRESULT Render(IPin* pin);
  HRESULT Disconnect(IPin* pin);
  HRESULT ConnectPins(IPin* out, IPin* in);

  HRESULT m_lastStatus = S_OK;
  HWND m_notifyWindow = 0;
  ComPtr<IBaseFilter> m_source;
  ComPtr<IBaseFilter> m_demux;
  ComPtr<IBaseFilter> m_streamBufferSink;
  ComPtr<IBaseFilter> m_multiplexer;
  ComPtr<IBaseFilter> m_videoAnalyzer;
  ComPtr<IBaseFilter> m_mainDump;
  ComPtr<IBaseFilter> m_demuxAudioDump;
  ComPtr<IBaseFilter> m_teeAudioDump;
  ComPtr<IBaseFilter> m_wavWriter;
  ComPtr<IBaseFilter> m_audioTee;
  ComPtr<IBaseFilter> m_ac3Filter;
  ComPtr<IUnknown> m_recorder;
  ComPtr<IMediaControl> m_mediaControl;
  ComPtr<IMediaSeeking> m_mediaSeeking;
  ComPtr<IMediaEventEx> m_mediaEvents;
  DWORD m_tableCookie = 0;
  ComPtr<IGraphBuilder> m_graph;
  std::string m_lastFilterName;
  int m_lastCheckPoint = 0;
  std::vector<int> m_checkPointTrail;
  bool m_tableFlag = false;
};
