#include "bench/support/BenchSupport.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "platform/com/library.h"
#include "platform/com/module.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/Mpeg2Interfaces.h"

namespace {
std::atomic<long long> g_allocations{0};
}

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace bench {
namespace {
constexpr CLSID CLSID_DumpFilter = MakeGuid("{C16F5100-FD54-448E-BD99-E10CA5C088BC}");
}

long long HeapAllocations() { return g_allocations.load(); }

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

bool RunCommand(const std::string& command) { return std::system(command.c_str()) == 0; }

bool MakeHdTestStream(const std::string& dir, int loops, const std::string& output) {
  return RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=16 -f lavfi -i "
                    "sine=frequency=1000:sample_rate=48000:duration=16 -c:v mpeg2video -b:v 25M -maxrate 25M -bufsize 8M "
                    "-g 12 -bf 2 -aspect 16:9 -c:a ac3_fixed -b:a 384k -f mpegts '" + dir + "/small.ts'") &&
         RunCommand("ffmpeg -nostdin -v error -y -stream_loop " + std::to_string(loops) + " -i '" + dir +
                    "/small.ts' -map 0 -c copy -f mpegts '" + output + "'");
}

std::string MakeWorkFolder(const std::string& name) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-" + std::to_string(getpid());
  std::filesystem::create_directories(folder);
  return folder;
}

void WarmPageCache(const std::string& path) { RunCommand("cat '" + path + "' > /dev/null"); }

ComPtr<IBaseFilter> CreateDumpFilter(const std::string& path) {
  ComPtr<IBaseFilter> filter;
  HMODULE module = LoadLibrary("Gallowin.ax");
  if (!module) return filter;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
  ComPtr<IClassFactory> factory;
  if (!getClassObject ||
      FAILED(getClassObject(CLSID_DumpFilter, IClassFactory::kIid, reinterpret_cast<void**>(factory.GetAddressOf()))))
    return filter;
  factory->CreateInstance(nullptr, IID_PPV_ARGS(filter.GetAddressOf()));
  ComPtr<IFileSinkFilter> sink;
  if (filter && SUCCEEDED(filter->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf()))))
    sink->SetFileName(Utf8ToUtf16(path).c_str(), nullptr);
  return filter;
}

bool MapDemultiplexerPin(IBaseFilter* demux, const GUID& major, const GUID& subtype, const char16_t* name, ULONG pid) {
  ComPtr<IMpeg2Demultiplexer> config;
  if (FAILED(demux->QueryInterface(IID_PPV_ARGS(config.GetAddressOf())))) return false;
  CMediaType type;
  type.InitMediaType();
  type.SetType(&major);
  type.SetSubtype(&subtype);
  std::u16string pinName(name);
  ComPtr<IPin> pin;
  if (FAILED(config->CreateOutputPin(&type, pinName.data(), pin.GetAddressOf()))) return false;
  ComPtr<IMPEG2PIDMap> map;
  if (FAILED(pin->QueryInterface(IID_PPV_ARGS(map.GetAddressOf())))) return false;
  ULONG pids[] = {pid};
  return SUCCEEDED(map->MapPID(1, pids, MEDIA_ELEMENTARY_STREAM));
}

}  // namespace bench
