#pragma once
// What the converter's graph tests share: the real modules registered in a temporary registry,
// the catalogue's filter specs, and small questions to a built graph.
#include <string>
#include <vector>

#include "engine/TempDir.h"
#include "platform/com/comptr.h"
#include "platform/dshow/GraphInterfaces.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace converter_test {

// A temporary registry for the life of the object.
class ModuleRegistry {
 public:
  const std::string& Folder() const { return m_registry.Folder(); }

 private:
  TemporaryRegistry m_registry;
};

// Registers Flumetta, Ambrel, the dump filter, the multiplexer and the AC3 analyzer from the
// build folder (each module's DllRegisterServer).
HRESULT RegisterConverterModules();
// Calls one module's DllRegisterServer or DllUnregisterServer.
HRESULT RegisterModule(const char* module, bool registering = true);

// The multiplexer's and the AC3 analyzer's filter specs as the catalogue gives them.
std::string MultiplexerSpec();
std::string Ac3AnalyzerSpec();

// The names of the graph's filters, sorted.
std::vector<std::string> FilterNames(IGraphBuilder* graph);
// The check points of a build: without the add-to-graph entries and without the source's load.
std::vector<int> BuildTrail(const std::vector<int>& trail);
// Waits (up to two minutes) for EC_COMPLETE, EC_USERABORT or EC_ERRORABORT; 0 on time-out.
LONG WaitForEnd(IGraphBuilder* graph);
// The name of the filter connected to a filter's pin; empty when not connected.
std::string PeerFilterName(IBaseFilter* filter, const char16_t* pinName);
// The output format the graph's multiplexer is set to; -1 without a multiplexer.
long MultiplexerFormat(IGraphBuilder* graph);

long long FileSize(const std::string& path);
// The conversion log's size now, and what was written to it since.
long long ConversionLogSize();
std::string ConversionLogSince(long long offset);

}  // namespace converter_test
