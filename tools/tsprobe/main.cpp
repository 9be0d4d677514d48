// tsprobe: prints what Flumetta learnt about a transport-stream recording. It hosts the filter
// the way the converter does: created by class identifier (registering the module beside the
// program once when its class is not registered yet), with the settings from the registry.
#include <sys/stat.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/library.h"
#include "platform/com/module.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Interfaces.h"
#include "shared/ClassIds.h"
#include "tools/tsprobe/ProbeReport.h"

namespace {

constexpr const char* kUsage =
    "Usage: tsprobe [--attr KEY]... [--json] FILE\n"
    "Prints what the transport-stream source filter learnt about FILE: the PAT, the programs with\n"
    "their streams (\"*\" marks the program it delivers), the video format, the H.264 parameter\n"
    "rows with their remarks, the audio tracks, the duration, the packet count and the PID table.\n"
    "The filter's settings come from the registry, as in any host.\n"
    "  --attr KEY  print the filter's answer to the attribute KEY (for example MEDIALEN or\n"
    "              GETPID(0)), one line per key, an empty line for no answer; repeatable\n"
    "  --json      print everything as JSON\n"
    "  --help      show this text\n";

HRESULT CreateFilter(ComPtr<IBaseFilter>& filter) {
  HRESULT hr = CoCreateInstance(CLSID_Flumetta, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf()));
  // Not registered, or registered to a module that is gone (a build moved or deleted): the
  // module beside the program registers itself.
  if (hr != REGDB_E_CLASSNOTREG && hr != CO_E_DLLNOTFOUND) return hr;
  HMODULE module = LoadLibrary("Flumetta.ax");
  if (!module) return hr;
  auto registerServer = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(module, "DllRegisterServer"));
  const HRESULT registered = registerServer ? registerServer() : E_FAIL;
  FreeLibrary(module);
  if (FAILED(registered)) return registered;
  return CoCreateInstance(CLSID_Flumetta, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf()));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> keys;
  bool json = false;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (word == "--json") {
      json = true;
    } else if (word == "--attr" && i + 1 < argc) {
      keys.push_back(argv[++i]);
    } else if (!word.empty() && word[0] == '-') {
      std::cerr << "tsprobe: unknown option " << word << "\n" << kUsage;
      return 2;
    } else {
      path = word;
    }
  }
  if (path.empty()) {
    std::cerr << "tsprobe: no file given\n" << kUsage;
    return 2;
  }
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
    std::cerr << "tsprobe: cannot open " << path << ": " << std::strerror(errno) << "\n";
    return 1;
  }

  CoInitialize(nullptr);
  ComPtr<IBaseFilter> filter;
  HRESULT hr = CreateFilter(filter);
  if (FAILED(hr)) {
    std::cerr << "tsprobe: cannot create the source filter (status 0x" << std::hex << static_cast<unsigned>(hr)
              << ")\n";
    return 1;
  }
  // Joining (no graph) reads the settings from the registry.
  filter->JoinFilterGraph(nullptr, u"Flumetta");
  ComPtr<IFileSourceFilter> source;
  ComPtr<ITsSourceInfo> info;
  if (FAILED(filter.As(&source)) || FAILED(filter.As(&info))) {
    std::cerr << "tsprobe: the source filter lacks its interfaces\n";
    return 1;
  }
  hr = source->Load(Utf8ToUtf16(path).c_str(), nullptr);
  if (FAILED(hr)) {
    std::cerr << "tsprobe: cannot load " << path << " (status 0x" << std::hex << static_cast<unsigned>(hr) << ")\n";
    return 1;
  }

  if (!keys.empty()) {
    for (const std::string& key : keys) std::cout << Attribute(info.Get(), key) << "\n";
    return 0;
  }
  const ProbeReport report = GatherReport(info.Get());
  if (json) {
    PrintJson(report, std::cout);
  } else {
    PrintText(report, std::cout);
  }
  return 0;
}
