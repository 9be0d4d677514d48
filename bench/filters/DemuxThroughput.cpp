// Throughput of source -> demultiplexer -> dump filters on a large transport stream, next to
// `ffmpeg -c copy` extracting the same two elementary streams from the same file in the same
// run (medians of three runs each, file in the page cache). Also counts heap allocations made
// while our graph runs, which must not grow with the number of samples.
//
//   filters_demux_throughput [input.ts]   (without input, a ~500 MB MPEG-2 + AC3 stream is made)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <unistd.h>
#include <string>
#include <vector>

#include "bench/filters/BlockTsSource.h"
#include "platform/com/activation.h"
#include "platform/com/library.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Mpeg2Interfaces.h"
#include "tests/platform/filters/TestGraph.h"

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

namespace {

constexpr CLSID CLSID_DumpFilter = MakeGuid("{C16F5100-FD54-448E-BD99-E10CA5C088BC}");

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool Run(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

ComPtr<IBaseFilter> CreateDump(const std::string& path) {
  ComPtr<IBaseFilter> filter;
  HMODULE module = LoadLibrary("Gallowin.ax");
  if (!module) return filter;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
  ComPtr<IClassFactory> factory;
  if (FAILED(getClassObject(CLSID_DumpFilter, IClassFactory::kIid, reinterpret_cast<void**>(factory.GetAddressOf()))))
    return filter;
  factory->CreateInstance(nullptr, IID_PPV_ARGS(filter.GetAddressOf()));
  ComPtr<IFileSinkFilter> sink;
  if (filter && SUCCEEDED(filter->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf()))))
    sink->SetFileName(Utf8ToUtf16(path).c_str(), nullptr);
  return filter;
}

bool MapPin(IBaseFilter* demux, const GUID& major, const GUID& subtype, const char16_t* name, ULONG pid) {
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

// One run of our graph; returns seconds (negative on failure) and the allocations made while
// the graph ran.
double RunGraph(const std::string& input, const std::string& dir, long long* allocations) {
  ComPtr<TestGraph> graph = TestGraph::Create();
  ComPtr<BlockTsSource> source;
  source.Attach(BlockTsSource::Create());
  if (FAILED(source->Pin()->Open(input))) return -1;
  ComPtr<IBaseFilter> demux;
  if (FAILED(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf()))))
    return -1;
  ComPtr<IBaseFilter> video = CreateDump(dir + "/ours.m2v"), audio = CreateDump(dir + "/ours.ac3");
  if (!video || !audio) return -1;
  graph->AddFilter(source.Get(), u"source");
  graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer");
  graph->AddFilter(video.Get(), u"video");
  graph->AddFilter(audio.Get(), u"audio");
  if (FAILED(graph->ConnectDirect(source->Pin(), FindPin(demux.Get(), u"MPEG-2 Stream").Get(), nullptr))) return -1;
  if (!MapPin(demux.Get(), MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, u"Video", 0x100)) return -1;
  if (!MapPin(demux.Get(), MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, u"AC3", 0x101)) return -1;
  if (FAILED(graph->ConnectDirect(FindPin(demux.Get(), u"Video").Get(), FindPin(video.Get(), u"Input").Get(), nullptr)))
    return -1;
  if (FAILED(graph->ConnectDirect(FindPin(demux.Get(), u"AC3").Get(), FindPin(audio.Get(), u"Input").Get(), nullptr)))
    return -1;

  const auto start = std::chrono::steady_clock::now();
  const long long before = g_allocations.load();
  if (FAILED(graph->Run())) return -1;
  if (!graph->WaitForEvents(EC_COMPLETE, 2, 600)) return -1;
  graph->Stop();  // the files are complete once stopped
  const double seconds = Seconds(start);
  *allocations = g_allocations.load() - before;
  graph->TearDown();
  return seconds;
}

double RunFfmpeg(const std::string& input, const std::string& dir) {
  const auto start = std::chrono::steady_clock::now();
  const bool ok = Run("ffmpeg -nostdin -v error -y -i '" + input + "' -map 0:v:0 -c copy -f mpeg2video '" + dir +
                      "/ffmpeg.m2v' -map 0:a:0 -c copy -f ac3 '" + dir + "/ffmpeg.ac3'");
  return ok ? Seconds(start) : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/filters-bench-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  std::string input = argc > 1 ? argv[1] : "";
  if (input.empty()) {
    std::printf("making a test stream (MPEG-2 1280x720 at 25 Mbit/s + AC3, looped to about 500 MB)...\n");
    input = dir + "/big.ts";
    const bool made =
        Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=20 -f lavfi -i "
            "sine=frequency=1000:sample_rate=48000:duration=20 -c:v mpeg2video -b:v 25M -maxrate 25M -bufsize 8M "
            "-g 12 -bf 2 -c:a ac3_fixed -b:a 384k -streamid 0:256 -streamid 1:257 -f mpegts '" + dir + "/small.ts'") &&
        Run("ffmpeg -nostdin -v error -y -stream_loop 7 -i '" + dir + "/small.ts' -map 0 -c copy -f mpegts '" + input + "'");
    if (!made) {
      std::fprintf(stderr, "ffmpeg could not make the test stream (is ffmpeg installed?)\n");
      return 1;
    }
  }
  const double megabytes = static_cast<double>(std::filesystem::file_size(input)) / 1e6;
  Run("cat '" + input + "' > /dev/null");  // into the page cache for both contenders

  std::vector<double> ours, theirs;
  long long allocations = 0;
  for (int i = 0; i < 3; ++i) {
    const double t = RunFfmpeg(input, dir);
    const double o = RunGraph(input, dir, &allocations);
    if (t < 0 || o < 0) {
      std::fprintf(stderr, "a run failed (ours %.3f s, ffmpeg %.3f s)\n", o, t);
      return 1;
    }
    theirs.push_back(t);
    ours.push_back(o);
  }
  const bool same = Run("cmp -s '" + dir + "/ours.m2v' '" + dir + "/ffmpeg.m2v' && cmp -s '" + dir + "/ours.ac3' '" +
                        dir + "/ffmpeg.ac3'");
  const double oursRate = megabytes / Median(ours), theirRate = megabytes / Median(theirs);
  std::printf("input: %.1f MB, %.0f packets\n", megabytes, megabytes * 1e6 / 188);
  std::printf("source -> demultiplexer -> dump filters: %8.1f MB/s (median of 3: %.3f s)\n", oursRate, Median(ours));
  std::printf("ffmpeg -c copy (same two streams):       %8.1f MB/s (median of 3: %.3f s)\n", theirRate, Median(theirs));
  std::printf("ratio ours / ffmpeg: %.2f\n", oursRate / theirRate);
  std::printf("heap allocations during one run of our graph: %lld (%.4f per packet)\n", allocations,
              static_cast<double>(allocations) / (megabytes * 1e6 / 188));
  std::printf("outputs identical to ffmpeg's: %s\n", same ? "yes" : "NO");
  if (argc <= 1) std::filesystem::remove_all(dir);
  else std::filesystem::remove(dir + "/ours.m2v"), std::filesystem::remove(dir + "/ours.ac3"),
      std::filesystem::remove(dir + "/ffmpeg.m2v"), std::filesystem::remove(dir + "/ffmpeg.ac3"),
      std::filesystem::remove(dir);
  return same ? 0 : 1;
}
