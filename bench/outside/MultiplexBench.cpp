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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/filters/BlockTsSource.h"
#include "bench/support/BenchSupport.h"
#include "outside/muxer/MultiplexerFilter.h"
#include "platform/com/activation.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Mpeg2Interfaces.h"
#include "tests/platform/filters/TestGraph.h"

namespace {

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
  ComPtr<IBaseFilter> dump = bench::CreateDumpFilter(output);
  if (!dump) return -1;
  graph->AddFilter(source.Get(), u"source");
  graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer");
  graph->AddFilter(mux.Get(), u"multiplexer");
  graph->AddFilter(dump.Get(), u"dump");
  if (FAILED(graph->ConnectDirect(source->Pin(), FindPin(demux.Get(), u"MPEG-2 Stream").Get(), nullptr))) return -1;
  if (!bench::MapDemultiplexerPin(demux.Get(), MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, u"Video", 0x100)) return -1;
  if (!bench::MapDemultiplexerPin(demux.Get(), MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, u"AC3", 0x101)) return -1;
  if (FAILED(graph->ConnectDirect(FindPin(demux.Get(), u"Video").Get(), FindPin(mux.Get(), u"Input 1").Get(), nullptr)))
    return -1;
  if (FAILED(graph->ConnectDirect(FindPin(demux.Get(), u"AC3").Get(), FindPin(mux.Get(), u"Input 2").Get(), nullptr)))
    return -1;
  if (FAILED(graph->ConnectDirect(FindPin(mux.Get(), u"Output").Get(), FindPin(dump.Get(), u"Input").Get(), nullptr)))
    return -1;

  const auto start = bench::Clock::now();
  const long long before = bench::HeapAllocations();
  if (FAILED(graph->Run())) return -1;
  if (!graph->WaitForEvents(EC_COMPLETE, 1, 600)) return -1;
  graph->Stop();  // the file is complete once stopped
  const double seconds = bench::SecondsSince(start);
  *allocations = bench::HeapAllocations() - before;
  ComPtr<outside::IMultiplexerConfig> config;
  LONGLONG bytes = 0, lateUnits = 0;
  if (SUCCEEDED(mux->QueryInterface(IID_PPV_ARGS(config.GetAddressOf())))) config->GetStatistics(&bytes, &lateUnits);
  *late = lateUnits;
  graph->TearDown();
  return seconds;
}

double RunFfmpeg(const std::string& input, const std::string& output) {
  const auto start = bench::Clock::now();
  const bool ok = bench::RunCommand("ffmpeg -nostdin -v error -y -i '" + input + "' -map 0:v:0 -map 0:a:0 -c copy -f vob '" +
                      output + "'");
  return ok ? bench::SecondsSince(start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = bench::MakeWorkFolder("muxer-bench");
  std::string input = argc > 1 ? argv[1] : "";
  if (input.empty()) {
    std::printf("making a test stream (MPEG-2 720x576 at 8 Mbit/s + AC3 448 kbit/s, looped to about 80 MB)...\n");
    input = dir + "/big.ts";
    const bool made =
        bench::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=720x576:rate=25:duration=20 -f lavfi -i "
            "sine=frequency=440:sample_rate=48000:duration=20 -c:v mpeg2video -b:v 8000k -maxrate 9000k -bufsize "
            "1835k -g 12 -bf 2 -c:a ac3_fixed -b:a 448k -ac 2 -streamid 0:256 -streamid 1:257 -f mpegts '" + dir +
            "/small.ts'") &&
        bench::RunCommand("ffmpeg -nostdin -v error -y -stream_loop 4 -i '" + dir + "/small.ts' -map 0 -c copy -f mpegts '" + input +
            "'");
    if (!made) {
      std::fprintf(stderr, "ffmpeg could not make the test stream (is ffmpeg installed?)\n");
      return 1;
    }
  }
  const double megabytes = static_cast<double>(std::filesystem::file_size(input)) / 1e6;
  bench::WarmPageCache(input);  // into the page cache for both contenders

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
  const double oursRate = megabytes / bench::Median(oursTimes), theirRate = megabytes / bench::Median(theirTimes);
  std::printf("input: %.1f MB, %.0f packets; program streams written: ours %.1f MB, ffmpeg's %.1f MB\n", megabytes,
              packets, static_cast<double>(std::filesystem::file_size(ours)) / 1e6,
              static_cast<double>(std::filesystem::file_size(theirs)) / 1e6);
  std::printf("source -> demultiplexer -> multiplexer -> dump: %8.1f MB/s (median of 3: %.3f s)\n", oursRate,
              bench::Median(oursTimes));
  std::printf("ffmpeg -c copy -f vob (same file, same streams): %8.1f MB/s (median of 3: %.3f s)\n", theirRate,
              bench::Median(theirTimes));
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
