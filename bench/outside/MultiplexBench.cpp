// Program-stream multiplexing throughput against `ffmpeg -c copy -f vob`, both reading the same
// transport-stream file and writing a program stream file, in the same run (medians of three
// runs each, the input in the page cache). Ours is the whole path the converter uses: a source
// delivering one 188-byte packet per sample, the platform demultiplexer, the multiplexer and
// the dump filter. Heap allocations made while our graph runs are counted; they must not grow
// with the number of samples.
//
//   outside_muxer_bench [input.ts]   (without input, ffmpeg makes a ~80 MB MPEG-2 + AC3 stream;
//                                     an input must carry MPEG-2 video on PID 0x100, AC3 on 0x101)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/filters/BlockTsSource.h"
#include "outside/muxer/MultiplexerFilter.h"
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

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

ComPtr<IBaseFilter> CreateDump(const std::string& path) {
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

// Makes a demultiplexer output pin for one PID, as the TS source does at connection.
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
// the graph ran, and the multiplexer's count of access units that arrived too late.
double RunGraph(const std::string& input, const std::string& output, long long* allocations, long long* late) {
  ComPtr<TestGraph> graph = TestGraph::Create();
  ComPtr<BlockTsSource> source;
  source.Attach(BlockTsSource::Create());
  if (FAILED(source->Pin()->Open(input))) return -1;
  ComPtr<IBaseFilter> demux, mux;
  if (FAILED(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf()))))
    return -1;
  if (FAILED(outside::MultiplexerFilter::CreateInstance(nullptr, IID_PPV_ARGS(mux.GetAddressOf())))) return -1;
  ComPtr<IBaseFilter> dump = CreateDump(output);
  if (!dump) return -1;
  graph->AddFilter(source.Get(), u"source");
  graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer");
  graph->AddFilter(mux.Get(), u"multiplexer");
  graph->AddFilter(dump.Get(), u"dump");
  if (FAILED(graph->ConnectDirect(source->Pin(), FindPin(demux.Get(), u"MPEG-2 Stream").Get(), nullptr))) return -1;
  if (!MapPin(demux.Get(), MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, u"Video", 0x100)) return -1;
  if (!MapPin(demux.Get(), MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, u"AC3", 0x101)) return -1;
  if (FAILED(graph->ConnectDirect(FindPin(demux.Get(), u"Video").Get(), FindPin(mux.Get(), u"Input 1").Get(), nullptr)))
    return -1;
  if (FAILED(graph->ConnectDirect(FindPin(demux.Get(), u"AC3").Get(), FindPin(mux.Get(), u"Input 2").Get(), nullptr)))
    return -1;
  if (FAILED(graph->ConnectDirect(FindPin(mux.Get(), u"Output").Get(), FindPin(dump.Get(), u"Input").Get(), nullptr)))
    return -1;

  const auto start = std::chrono::steady_clock::now();
  const long long before = g_allocations.load();
  if (FAILED(graph->Run())) return -1;
  if (!graph->WaitForEvents(EC_COMPLETE, 1, 600)) return -1;
  graph->Stop();  // the file is complete once stopped
  const double seconds = Seconds(start);
  *allocations = g_allocations.load() - before;
  ComPtr<outside::IMultiplexerConfig> config;
  LONGLONG bytes = 0, lateUnits = 0;
  if (SUCCEEDED(mux->QueryInterface(IID_PPV_ARGS(config.GetAddressOf())))) config->GetStatistics(&bytes, &lateUnits);
  *late = lateUnits;
  graph->TearDown();
  return seconds;
}

double RunFfmpeg(const std::string& input, const std::string& output) {
  const auto start = std::chrono::steady_clock::now();
  const bool ok = Run("ffmpeg -nostdin -v error -y -i '" + input + "' -map 0:v:0 -map 0:a:0 -c copy -f vob '" +
                      output + "'");
  return ok ? Seconds(start) : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/muxer-bench-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  std::string input = argc > 1 ? argv[1] : "";
  if (input.empty()) {
    std::printf("making a test stream (MPEG-2 720x576 at 8 Mbit/s + AC3 448 kbit/s, looped to about 80 MB)...\n");
    input = dir + "/big.ts";
    const bool made =
        Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=720x576:rate=25:duration=20 -f lavfi -i "
            "sine=frequency=440:sample_rate=48000:duration=20 -c:v mpeg2video -b:v 8000k -maxrate 9000k -bufsize "
            "1835k -g 12 -bf 2 -c:a ac3_fixed -b:a 448k -ac 2 -streamid 0:256 -streamid 1:257 -f mpegts '" + dir +
            "/small.ts'") &&
        Run("ffmpeg -nostdin -v error -y -stream_loop 4 -i '" + dir + "/small.ts' -map 0 -c copy -f mpegts '" + input +
            "'");
    if (!made) {
      std::fprintf(stderr, "ffmpeg could not make the test stream (is ffmpeg installed?)\n");
      return 1;
    }
  }
  const double megabytes = static_cast<double>(std::filesystem::file_size(input)) / 1e6;
  Run("cat '" + input + "' > /dev/null");  // into the page cache for both contenders

  const std::string ours = dir + "/ours.mpg", theirs = dir + "/ffmpeg.mpg";
  std::vector<double> oursTimes, theirTimes;
  long long allocations = 0, late = 0;
  for (int i = 0; i < 3; ++i) {
    const double t = RunFfmpeg(input, theirs);
    const double o = RunGraph(input, ours, &allocations, &late);
    if (t < 0 || o < 0) {
      std::fprintf(stderr, "a run failed (ours %.3f s, ffmpeg %.3f s)\n", o, t);
      return 1;
    }
    theirTimes.push_back(t);
    oursTimes.push_back(o);
  }
  const double packets = megabytes * 1e6 / 188;
  const double oursRate = megabytes / Median(oursTimes), theirRate = megabytes / Median(theirTimes);
  std::printf("input: %.1f MB, %.0f packets; program streams written: ours %.1f MB, ffmpeg's %.1f MB\n", megabytes,
              packets, static_cast<double>(std::filesystem::file_size(ours)) / 1e6,
              static_cast<double>(std::filesystem::file_size(theirs)) / 1e6);
  std::printf("source -> demultiplexer -> multiplexer -> dump: %8.1f MB/s (median of 3: %.3f s)\n", oursRate,
              Median(oursTimes));
  std::printf("ffmpeg -c copy -f vob (same file, same streams): %8.1f MB/s (median of 3: %.3f s)\n", theirRate,
              Median(theirTimes));
  std::printf("ratio ours / ffmpeg: %.2f\n", oursRate / theirRate);
  std::printf("heap allocations during one run of our graph: %lld (%.5f per packet); late access units: %lld\n",
              allocations, static_cast<double>(allocations) / packets, late);
  if (argc <= 1) {
    std::filesystem::remove_all(dir);
  } else {
    std::filesystem::remove(ours);
    std::filesystem::remove(theirs);
    std::filesystem::remove(dir);
  }
  return 0;
}
