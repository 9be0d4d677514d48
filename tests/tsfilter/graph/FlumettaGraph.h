#pragma once
// Flumetta hosted the way the converter hosts it: its module registered in a temporary registry,
// the filter created by class identifier in a real filter graph, the file loaded, its pin
// connected to the platform's MPEG-2 Demultiplexer (which Flumetta configures itself) and the
// demultiplexer's pins written by dump filters.
#include <cstdint>
#include <string>

#include "platform/com/comptr.h"
#include "platform/com/library.h"
#include "platform/dshow/GraphInterfaces.h"
#include "platform/dshow/Interfaces.h"
#include "shared/TsSourceInfo.h"

namespace flumgraph {

// Flumetta.ax and Gallowin.ax, loaded from beside the test program and registered.
class Modules {
 public:
  Modules();
  ~Modules();
  Modules(const Modules&) = delete;
  Modules& operator=(const Modules&) = delete;

  // Empty when both are registered, else why not.
  const std::string& Problem() const { return m_problem; }
  HMODULE Flumetta() const { return m_flumetta; }

 private:
  HMODULE m_flumetta = nullptr;
  HMODULE m_dump = nullptr;
  std::string m_problem;
};

// A Flumetta setting in the current user's settings key (read when the filter joins a graph).
void WriteSetting(const char* name, std::uint32_t value);

struct DemuxOutputs {
  std::u16string videoPin;
  std::u16string audioPin;
};

class FlumettaGraph {
 public:
  FlumettaGraph() = default;
  ~FlumettaGraph();
  FlumettaGraph(const FlumettaGraph&) = delete;
  FlumettaGraph& operator=(const FlumettaGraph&) = delete;

  // Graph, Flumetta (added, then loaded with `input`), the demultiplexer connected behind it.
  HRESULT Open(const std::string& input);
  // Only the graph and Flumetta, loaded.
  HRESULT OpenSource(const std::string& input);
  // A dump filter writing what `from` delivers into `path`.
  HRESULT AddDump(const std::string& path, IPin* from);
  // The demultiplexer's video and audio pins, as Flumetta created them, each into a dump filter.
  HRESULT WriteOutputs(const std::string& videoOut, const std::string& audioOut);
  // Runs until the graph's completion (EC_COMPLETE, EC_ERRORABORT, ...); 0 on timeout.
  LONG RunToCompletion(int timeoutSeconds = 60);
  // Stops and removes every filter (so no pin keeps a peer's filter alive).
  void TearDown();

  // Flumetta's answer to an attribute key or command ("" for no answer).
  std::string Attribute(const std::string& key);
  const DemuxOutputs& Outputs() const { return m_outputs; }

  ComPtr<IGraphBuilder> graph;
  ComPtr<IBaseFilter> source;
  ComPtr<IBaseFilter> demux;

 private:
  DemuxOutputs m_outputs;
};

// The demultiplexer output pin named first among `names` that exists, or an empty name.
std::u16string FirstExistingPin(IBaseFilter* filter, std::initializer_list<const char16_t*> names);

}  // namespace flumgraph
