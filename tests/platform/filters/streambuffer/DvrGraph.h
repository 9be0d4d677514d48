#pragma once
// Graphs built the way the converter builds its DVR-MS conversions, for tests of the stream
// buffer: Flumetta (registered in a temporary registry by the test), the demultiplexer, the video
// analyzer and the sink, the source pin rendered, the audio tee spliced in with a dump filter on
// its second output and the analyzer spliced in front of the sink; then the recording run as the
// converter runs it (lock the profile, create the recorder, positions, run, start, and at the end
// stop the graph and the recorder). And the other direction: the stream-buffer source loaded
// with a recording, its video and audio pins rendered into dump filters or a multiplexer.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/com/library.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/Interfaces.h"
#include "platform/dshow/StreamBufferInterfaces.h"

namespace dvrtest {

inline constexpr CLSID kDumpFilter = MakeGuid("{C16F5100-FD54-448E-BD99-E10CA5C088BC}");

// Flumetta.ax and Gallowin.ax loaded from beside the test program and registered (in whatever
// registry the test has set up).
std::string RegisterModules();

// Disconnects a pin and the pin it is connected to.
HRESULT DisconnectBoth(IPin* pin);

class Graph {
 public:
  Graph();
  ~Graph();
  Graph(const Graph&) = delete;
  Graph& operator=(const Graph&) = delete;

  ComPtr<IBaseFilter> Add(REFCLSID clsid, const std::u16string& name);
  ComPtr<IBaseFilter> AddDump(const std::string& path);  // no file name set when path is empty
  static ComPtr<IPin> Pin(IBaseFilter* filter, const char16_t* name);
  // Runs until EC_COMPLETE, EC_ERRORABORT or EC_USERABORT (0 on timeout), then stops.
  LONG RunToCompletion(int timeoutSeconds = 120);
  std::vector<LONG> EventCodes();
  void TearDown();

  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEventEx> events;
  ComPtr<IMediaSeeking> seeking;

 private:
  std::vector<LONG> m_events;
};

struct RecordOptions {
  bool analyzer = true;         // the converter adds the video analyzer for MPEG-2 video
  std::int32_t startMs = 0;     // seek positions applied to the source (0: not set)
  std::int32_t stopMs = 0;
  // Positions given to the stopped source before the graph is paused (the converter's order),
  // else to the paused graph's source (which flushes what was delivered meanwhile).
  bool positionsBeforePause = true;
  bool teeDump = true;          // a dump filter on the tee's second output
};

struct RecordResult {
  HRESULT build = S_OK;     // the graph could be built
  HRESULT recorder = S_OK;  // CreateRecorder
  LONG completion = 0;      // the event that ended the run
  HRESULT recordingStatus = S_OK;
  BOOL started = FALSE, stopped = FALSE;
  std::string sinkInputs;   // "DVR In - 1<-Smart Tee,DVR In - 2<-MPEG-2 Video Analyzer Filter"
};

// Transport stream to DVR-MS as the converter does it (the tee dump file is `teeDumpPath`).
RecordResult RecordTransportStream(const std::string& input, const std::string& output, const RecordOptions& options,
                                   const std::string& teeDumpPath = "");

// The stream-buffer source loaded with `input`, its pins rendered into dump filters writing the
// video to `videoOut` and the audio to `audioOut`; positions in ms (0: not set), given before the
// graph is paused. The completion code.
LONG PlayToElementaryStreams(const std::string& input, const std::string& videoOut, const std::string& audioOut,
                             std::int32_t startMs = 0, std::int32_t stopMs = 0);

// Which filter each input pin of `filter` is connected to, as "pin<-filter" joined by commas.
std::string DescribeInputs(IBaseFilter* filter);

}  // namespace dvrtest
