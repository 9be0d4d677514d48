// Program-stream input throughput against ffmpeg on the same file in the same run (medians of
// three runs each, the input in the page cache): a .mpg read by the asynchronous file source and
// pulled by the platform demultiplexer, then
//   PS to TS: the multiplexer in transport-stream mode and the dump filter, beside
//             `ffmpeg -c copy -f mpegts`;
//   PS to ES: two dump filters (video and audio), beside `ffmpeg -c copy` into the two raw streams.
// Heap allocations made while our graphs run are counted; they must not grow with the file.
//
//   outside_psinput_bench [input.mpg]   (without input, ffmpeg makes a ~80 MB MPEG-2 + AC3 program
//                                        stream; an input must carry MPEG-2 video and AC3)
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "outside/muxer/IMultiplexerConfig.h"
#include "outside/muxer/MultiplexerFilter.h"
#include "platform/com/activation.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "tests/platform/filters/TestGraph.h"

namespace {

enum class Target { TransportStream, ElementaryStreams };

// One run of our graph; seconds (negative on failure) and the allocations made while it ran.
double RunGraph(Target target, const std::string& input, const std::string& out, long long* allocations) {
  ComPtr<TestGraph> graph = TestGraph::Create();
  ComPtr<IBaseFilter> source, demux;
  if (FAILED(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(source.GetAddressOf()))) ||
      FAILED(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(demux.GetAddressOf()))))
    return -1;
  ComPtr<IFileSourceFilter> load;
  if (FAILED(source->QueryInterface(IID_PPV_ARGS(load.GetAddressOf()))) ||
      FAILED(load->Load(Utf8ToUtf16(input).c_str(), nullptr)))
    return -1;
  graph->AddFilter(source.Get(), u"source");
  graph->AddFilter(demux.Get(), u"MPEG-2 Demultiplexer");
  if (FAILED(graph->ConnectDirect(FindPin(source.Get(), u"Output").Get(), FindPin(demux.Get(), u"MPEG-2 Stream").Get(),
                                  nullptr)))
    return -1;
  ComPtr<IPin> video = FindPin(demux.Get(), u"Video"), audio = FindPin(demux.Get(), u"AC3");
  if (!video || !audio) return -1;
  std::vector<ComPtr<IBaseFilter>> keep;
  if (target == Target::TransportStream) {
    ComPtr<IBaseFilter> mux;
    if (FAILED(outside::MultiplexerFilter::CreateInstance(nullptr, IID_PPV_ARGS(mux.GetAddressOf())))) return -1;
    ComPtr<outside::IMultiplexerConfig> config;
    if (FAILED(mux->QueryInterface(IID_PPV_ARGS(config.GetAddressOf()))) || FAILED(config->SetOutputFormat(7))) return -1;
    ComPtr<IBaseFilter> dump = bench::CreateDumpFilter(out);
    if (!dump) return -1;
    graph->AddFilter(mux.Get(), u"multiplexer");
    graph->AddFilter(dump.Get(), u"dump");
    if (FAILED(graph->ConnectDirect(video.Get(), FindPin(mux.Get(), u"Input 1").Get(), nullptr)) ||
        FAILED(graph->ConnectDirect(audio.Get(), FindPin(mux.Get(), u"Input 2").Get(), nullptr)) ||
        FAILED(graph->ConnectDirect(FindPin(mux.Get(), u"Output").Get(), FindPin(dump.Get(), u"Input").Get(), nullptr)))
      return -1;
    keep = {mux, dump};
  } else {
    ComPtr<IBaseFilter> videoDump = bench::CreateDumpFilter(out + ".m2v"), audioDump = bench::CreateDumpFilter(out + ".ac3");
    if (!videoDump || !audioDump) return -1;
    graph->AddFilter(videoDump.Get(), u"video");
    graph->AddFilter(audioDump.Get(), u"audio");
    if (FAILED(graph->ConnectDirect(video.Get(), FindPin(videoDump.Get(), u"Input").Get(), nullptr)) ||
        FAILED(graph->ConnectDirect(audio.Get(), FindPin(audioDump.Get(), u"Input").Get(), nullptr)))
      return -1;
    keep = {videoDump, audioDump};
  }
  const std::size_t sinks = target == Target::TransportStream ? 1 : 2;
  const auto start = bench::Clock::now();
  const long long before = bench::HeapAllocations();
  if (FAILED(graph->Run())) return -1;
  if (!graph->WaitForEvents(EC_COMPLETE, sinks, 600)) return -1;
  graph->Stop();  // the files are complete once stopped
  const double seconds = bench::SecondsSince(start);
  *allocations = bench::HeapAllocations() - before;
  graph->TearDown();
  return seconds;
}

double RunFfmpeg(Target target, const std::string& input, const std::string& out) {
  const std::string command =
      target == Target::TransportStream
          ? "ffmpeg -nostdin -v error -y -i '" + input + "' -map 0:v:0 -map 0:a:0 -c copy -f mpegts '" + out + "'"
          : "ffmpeg -nostdin -v error -y -i '" + input + "' -map 0:v:0 -c copy -f mpeg2video '" + out +
                ".m2v' -map 0:a:0 -c copy -f ac3 '" + out + ".ac3'";
  const auto start = bench::Clock::now();
  return bench::RunCommand(command) ? bench::SecondsSince(start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = bench::MakeWorkFolder("psinput-bench");
  std::string input = argc > 1 ? argv[1] : "";
  if (input.empty()) {
    std::printf("making a test stream (MPEG-2 720x576 at 8 Mbit/s + AC3 448 kbit/s, -f vob, looped to about 80 MB)...\n");
    input = dir + "/big.mpg";
    const bool made =
        bench::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=720x576:rate=25:duration=20 -f lavfi -i "
                          "sine=frequency=440:sample_rate=48000:duration=20 -c:v mpeg2video -b:v 8000k -maxrate 9000k "
                          "-bufsize 1835k -g 12 -bf 2 -c:a ac3_fixed -b:a 448k -ac 2 -f vob '" + dir + "/small.mpg'") &&
        bench::RunCommand("ffmpeg -nostdin -v error -y -stream_loop 4 -i '" + dir + "/small.mpg' -map 0 -c copy -f vob '" +
                          input + "'");
    if (!made) {
      std::fprintf(stderr, "ffmpeg could not make the test stream (is ffmpeg installed?)\n");
      return 1;
    }
  }
  const double megabytes = static_cast<double>(std::filesystem::file_size(input)) / 1e6;
  bench::WarmPageCache(input);
  std::printf("input: %.1f MB program stream\n", megabytes);
  for (Target target : {Target::TransportStream, Target::ElementaryStreams}) {
    const char* name = target == Target::TransportStream ? "PS to TS" : "PS to ES";
    std::vector<double> ours, theirs;
    long long allocations = 0;
    for (int i = 0; i < 3; ++i) {
      const double t = RunFfmpeg(target, input, dir + "/ffmpeg");
      const double o = RunGraph(target, input, dir + "/ours", &allocations);
      if (t < 0 || o < 0) {
        std::fprintf(stderr, "%s: a run failed (ours %.3f s, ffmpeg %.3f s)\n", name, o, t);
        return 1;
      }
      theirs.push_back(t);
      ours.push_back(o);
    }
    const double oursRate = megabytes / bench::Median(ours), theirRate = megabytes / bench::Median(theirs);
    std::printf("%s: ours %8.1f MB/s (median %.3f s), ffmpeg -c copy %8.1f MB/s (median %.3f s), ratio ours / ffmpeg %.2f; "
                "heap allocations during one run: %lld\n",
                name, oursRate, bench::Median(ours), theirRate, bench::Median(theirs), oursRate / theirRate, allocations);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
