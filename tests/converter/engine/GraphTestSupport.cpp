#include "engine/GraphTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include <algorithm>
#include <chrono>

#include "converter/engine/CheckPoint.h"
#include "converter/engine/ConversionLog.h"
#include "outside/muxer/IMultiplexerConfig.h"
#include "platform/com/library.h"
#include "platform/com/module.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FilterMapper.h"
#include "platform/dshow/Guids.h"

namespace converter_test {

HRESULT RegisterModule(const char* module, bool registering) {
  HMODULE handle = LoadLibrary(module);
  if (!handle) return E_FAIL;
  auto entry = reinterpret_cast<DllRegisterServerFn>(
      GetProcAddress(handle, registering ? "DllRegisterServer" : "DllUnregisterServer"));
  return entry ? entry() : E_FAIL;
}

HRESULT RegisterConverterModules() {
  for (const char* module : {"Flumetta.ax", "Ambrel.ax", "Gallowin.ax", "PsTsMultiplexer.ax", "Ac3Analyzer.ax"}) {
    const HRESULT hr = RegisterModule(module);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

namespace {

std::string SpecOf(const CLSID& clsid, const char* name) { return std::string(name) + "," + GuidToString(clsid); }

}  // namespace

std::string MultiplexerSpec() {
  return SpecOf(MakeGuid("{FABBE789-E9E3-47AB-8F03-BF066AA36699}"), "PS/TS Multiplexer");
}

std::string Ac3AnalyzerSpec() {
  return SpecOf(MakeGuid("{C944FCA1-873A-48E6-BCB3-667AF021B5A2}"), "AC3 Frame Analyzer");
}

std::vector<std::string> FilterNames(IGraphBuilder* graph) {
  std::vector<std::string> names;
  ComPtr<IEnumFilters> filters;
  if (!graph || FAILED(graph->EnumFilters(filters.GetAddressOf()))) return names;
  for (ComPtr<IBaseFilter> filter; filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    FILTER_INFO info{};
    if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
      names.push_back(Utf16ToUtf8(info.achName));
      if (info.pGraph) info.pGraph->Release();
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<int> BuildTrail(const std::vector<int>& trail) {
  auto start = std::find(trail.begin(), trail.end(), CheckPoint::AddPump);
  start = start == trail.end() ? trail.begin() : start + 1;
  std::vector<int> steps;
  std::copy_if(start, trail.end(), std::back_inserter(steps), [](int n) { return n != CheckPoint::AddFilter; });
  return steps;
}

LONG WaitForEnd(IGraphBuilder* graph) {
  ComPtr<IMediaEvent> events;
  if (!graph || FAILED(graph->QueryInterface(IID_PPV_ARGS(events.GetAddressOf())))) return 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (std::chrono::steady_clock::now() < deadline) {
    LONG code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    if (events->GetEvent(&code, &param1, &param2, 100) != S_OK) continue;
    events->FreeEventParams(code, param1, param2);
    if (code == EC_COMPLETE || code == EC_USERABORT || code == EC_ERRORABORT) return code;
  }
  return 0;
}

std::string PeerFilterName(IBaseFilter* filter, const char16_t* pinName) {
  ComPtr<IPin> pin;
  ComPtr<IPin> peer;
  if (!filter || FAILED(filter->FindPin(pinName, pin.GetAddressOf())) ||
      FAILED(pin->ConnectedTo(peer.GetAddressOf())))
    return {};
  PIN_INFO info{};
  if (FAILED(peer->QueryPinInfo(&info)) || !info.pFilter) return {};
  FILTER_INFO filterInfo{};
  std::string name;
  if (SUCCEEDED(info.pFilter->QueryFilterInfo(&filterInfo))) {
    name = Utf16ToUtf8(filterInfo.achName);
    if (filterInfo.pGraph) filterInfo.pGraph->Release();
  }
  info.pFilter->Release();
  return name;
}

long MultiplexerFormat(IGraphBuilder* graph) {
  ComPtr<IEnumFilters> filters;
  if (!graph || FAILED(graph->EnumFilters(filters.GetAddressOf()))) return -1;
  for (ComPtr<IBaseFilter> filter; filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    ComPtr<outside::IMultiplexerConfig> config;
    if (FAILED(filter->QueryInterface(IID_PPV_ARGS(config.GetAddressOf())))) continue;
    LONG format = -1;
    config->GetOutputFormat(&format);
    return format;
  }
  return -1;
}

long long FileSize(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

long long ConversionLogSize() {
  LogMessage(nullptr);  // opens the log at its first use and flushes what was written
  return FileSize(TheConversionLog().Path());
}

std::string ConversionLogSince(long long offset) {
  LogMessage(nullptr);
  const std::string text = ReadWholeFile(TheConversionLog().Path());
  return offset >= 0 && static_cast<std::size_t>(offset) <= text.size() ? text.substr(offset) : text;
}

}  // namespace converter_test

namespace {

// Each test process gets a temporary folder of its own, so its conversion log is its own.
class OwnTemporaryFolder : public ::testing::Environment {
 public:
  OwnTemporaryFolder() {
    std::string pattern = "/tmp/brannock-graph-XXXXXX";
    if (::mkdtemp(pattern.data())) {
      m_folder = pattern;
      ::setenv("TMPDIR", m_folder.c_str(), 1);
    }
  }
  void TearDown() override {
    std::error_code ignored;
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
  }

 private:
  std::string m_folder;
};

[[maybe_unused]] ::testing::Environment* const g_folder = ::testing::AddGlobalTestEnvironment(new OwnTemporaryFolder);

}  // namespace
