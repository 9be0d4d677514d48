// Throughput of source -> demultiplexer -> dump filters on a large transport stream, next to
// `ffmpeg -c copy` extracting the same two elementary streams from the same file in the same
// run (medians of three runs each, file in the page cache). Also counts heap allocations made
// while our graph runs, which must not grow with the number of samples.
//
//   filters_demux_throughput [input.ts]   (without input, a ~500 MB MPEG-2 + AC3 stream is made)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <vector>

#include "bench/filters/BlockTsSource.h"
#include "bench/support/BenchSupport.h"
#include "platform/com/activation.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Mpeg2Interfaces.h"
#include "tests/platform/filters/TestGraph.h"

namespace {

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
  ComPtr<IBaseFilter> video = bench::CreateDumpFilter(dir + "/ours.m2v"), audio = bench::CreateDumpFilter(dir + "/ours.ac3");
  if (!video || !audio) return -1;
  graph->AddFilter(source.Get(), u"source");
  graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer");
  graph->AddFilter(video.Get(), u"video");
  graph->AddFilter(audio.Get(), u"audio");
  if (FAILED(graph->ConnectDirect(source->Pin(), FindPin(demux.Get(), u"MPEG-2 Stream").Get(), nullptr))) return -1;
  if (!bench::MapDemultiplexerPin(demux.Get(), MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO, u"Video", 0x100)) return -1;
  if (!bench::MapDemultiplexerPin(demux.Get(), MEDIATYPE_Audio, MEDIASUBTYPE_DOLBY_AC3, u"AC3", 0x101)) return -1;
  if (FAILED(graph->ConnectDirect(FindPin(demux.Get(), u"Video").Get(), FindPin(video.Get(), u"Input").Get(), nullptr)))
    return -1;
  if (FAILED(graph->ConnectDirect(FindPin(demux.Get(), u"AC3").Get(), FindPin(audio.Get(), u"Input").Get(), nullptr)))
    return -1;

  const auto start = bench::Clock::now();
  const long long before = bench::HeapAllocations();
  if (FAILED(graph->Run())) return -1;
  if (!graph->WaitForEvents(EC_COMPLETE, 2, 600)) return -1;
  graph->Stop();  // the files are complete once stopped
  const double seconds = bench::SecondsSince(start);
  *allocations = bench::HeapAllocations() - before;
  graph->TearDown();
  return seconds;
}

double RunFfmpeg(const std::string& input, const std::string& dir) {
  const auto start = bench::Clock::now();
  const bool ok = bench::RunCommand("ffmpeg -nostdin -v error -y -i '" + input + "' -map 0:v:0 -c copy -f mpeg2video '" + dir +
                      "/ffmpeg.m2v' -map 0:a:0 -c copy -f ac3 '" + dir + "/ffmpeg.ac3'");
  return ok ? bench::SecondsSince(start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = bench::MakeWorkFolder("filters-bench");
  std::string input = argc > 1 ? argv[1] : "";
  if (input.empty()) {
    std::printf("making a test stream (MPEG-2 1280x720 at 25 Mbit/s + AC3, looped to about 500 MB)...\n");
    input = dir + "/big.ts";
    const bool made =
        bench::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=20 -f lavfi -i "
            "sine=frequency=1000:sample_rate=48000:duration=20 -c:v mpeg2video -b:v 25M -maxrate 25M -bufsize 8M "
            "-g 12 -bf 2 -c:a ac3_fixed -b:a 384k -streamid 0:256 -streamid 1:257 -f mpegts '" + dir + "/small.ts'") &&
        bench::RunCommand("ffmpeg -nostdin -v error -y -stream_loop 7 -i '" + dir + "/small.ts' -map 0 -c copy -f mpegts '" + input + "'");
    if (!made) {
      std::fprintf(stderr, "ffmpeg could not make the test stream (is ffmpeg installed?)\n");
      return 1;
    }
  }
  const double megabytes = static_cast<double>(std::filesystem::file_size(input)) / 1e6;
  bench::WarmPageCache(input);  // into the page cache for both contenders

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
  const bool same = bench::RunCommand("cmp -s '" + dir + "/ours.m2v' '" + dir + "/ffmpeg.m2v' && cmp -s '" + dir + "/ours.ac3' '" +
                        dir + "/ffmpeg.ac3'");
  const double oursRate = megabytes / bench::Median(ours), theirRate = megabytes / bench::Median(theirs);
  std::printf("input: %.1f MB, %.0f packets\n", megabytes, megabytes * 1e6 / 188);
  std::printf("source -> demultiplexer -> dump filters: %8.1f MB/s (median of 3: %.3f s)\n", oursRate, bench::Median(ours));
  std::printf("ffmpeg -c copy (same two streams):       %8.1f MB/s (median of 3: %.3f s)\n", theirRate, bench::Median(theirs));
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
