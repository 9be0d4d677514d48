// Flumetta on a large transport stream, next to ffmpeg's tools on the same file in the same run
// (medians of three runs each, file in the page cache):
//  - opening: creating the filter and loading the file (the whole opening analysis, duration
//    scan included) next to `ffprobe` reading the file's streams;
//  - delivery: Flumetta -> MPEG-2 Demultiplexer (set up by Flumetta) -> dump filters, next to
//    `ffmpeg -c copy` extracting the same two elementary streams.
// A third line, Flumetta straight into a sink that does nothing, shows the source's own share.
// Also counts heap allocations made while the graph runs, which must not grow with the packets.
//
//   tsfilter_flumetta_bench [input.ts]   (without input, a ~200 MB MPEG-2 + AC3 stream is made)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "platform/com/activation.h"
#include "platform/com/wstring.h"
#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/FileInterfaces.h"
#include "shared/ClassIds.h"
#include "tests/tsfilter/graph/FlumettaGraph.h"

namespace {

using bench::Clock;

double OpenWithFlumetta(const std::string& input) {
  const auto start = Clock::now();
  ComPtr<IBaseFilter> filter;
  if (FAILED(CoCreateInstance(CLSID_Flumetta, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf()))))
    return -1;
  ComPtr<IFileSourceFilter> file;
  if (FAILED(filter->QueryInterface(IID_PPV_ARGS(file.GetAddressOf())))) return -1;
  if (FAILED(file->Load(Utf8ToUtf16(input).c_str(), nullptr))) return -1;
  return bench::SecondsSince(start);
}

double OpenWithFfprobe(const std::string& input) {
  const auto start = Clock::now();
  return bench::RunCommand("ffprobe -v error -show_streams -show_format '" + input + "' > /dev/null") ? bench::SecondsSince(start) : -1;
}

// One run of the graph; the allocations made while it ran go to *allocations.
double DeliverWithFlumetta(const std::string& input, const std::string& dir, long long* allocations) {
  flumgraph::FlumettaGraph graph;
  if (FAILED(graph.Open(input))) return -1;
  if (FAILED(graph.WriteOutputs(dir + "/ours.m2v", dir + "/ours.ac3"))) return -1;
  const long long before = bench::HeapAllocations();
  const auto start = Clock::now();
  if (graph.RunToCompletion(600) != EC_COMPLETE) return -1;  // stopped: the files are complete
  const double seconds = bench::SecondsSince(start);
  *allocations = bench::HeapAllocations() - before;
  return seconds;
}

// A sink that takes every sample and does nothing with it: Flumetta into it shows the source's
// own share of the delivery (reading, examining, one sample per packet).
class NullSink final : public CBaseFilter {
 public:
  NullSink() : CBaseFilter("null sink", nullptr, &m_lock, GUID_NULL), m_pin(this, &m_lock) {}
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

 private:
  class Input final : public CBaseInputPin {
   public:
    Input(NullSink* filter, CCritSec* lock) : CBaseInputPin("null input", filter, lock, nullptr, u"In"), m_sink(*filter) {}
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    STDMETHODIMP EndOfStream() override {
      m_sink.NotifyEvent(EC_COMPLETE, S_OK, 0);
      return S_OK;
    }

   private:
    NullSink& m_sink;
  };
  CCritSec m_lock;
  Input m_pin;
};

double DeliverPacketsOnly(const std::string& input) {
  // "Any Push Demux": a filter that is no demultiplexer may take the packets.
  flumgraph::WriteSetting("PrefDemux", 0);
  flumgraph::FlumettaGraph graph;
  const HRESULT opened = graph.OpenSource(input);
  flumgraph::WriteSetting("PrefDemux", 1);
  if (FAILED(opened)) return -1;
  ComPtr<IBaseFilter> sink;
  (new NullSink)->NonDelegatingQueryInterface(IBaseFilter::kIid, reinterpret_cast<void**>(sink.GetAddressOf()));
  ComPtr<IPin> out, in;
  if (FAILED(graph.graph->AddFilter(sink.Get(), u"null")) || FAILED(graph.source->FindPin(u"TS Out", out.GetAddressOf())) ||
      FAILED(sink->FindPin(u"In", in.GetAddressOf())) || FAILED(graph.graph->ConnectDirect(out.Get(), in.Get(), nullptr)))
    return -1;
  const auto start = Clock::now();
  if (graph.RunToCompletion(600) != EC_COMPLETE) return -1;
  return bench::SecondsSince(start);
}

double DeliverWithFfmpeg(const std::string& input, const std::string& dir) {
  const auto start = Clock::now();
  const bool ok = bench::RunCommand("ffmpeg -nostdin -v error -y -i '" + input + "' -map 0:v:0 -c copy -f mpeg2video '" + dir +
                      "/ffmpeg.m2v' -map 0:a:0 -c copy -f ac3 '" + dir + "/ffmpeg.ac3'");
  return ok ? bench::SecondsSince(start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = bench::MakeWorkFolder("flumetta-bench");
  std::filesystem::create_directories(dir + "/registry");
  // Registration and settings go to a registry of the run's own, never the user's.
  setenv("PLATFORM_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
  std::string input = argc > 1 ? argv[1] : "";
  if (input.empty()) {
    std::printf("making a test stream (MPEG-2 1280x720 at 25 Mbit/s + AC3, looped to about 200 MB)...\n");
    input = dir + "/big.ts";
    const bool made = bench::MakeHdTestStream(dir, 9, input);
    if (!made) {
      std::fprintf(stderr, "ffmpeg could not make the test stream (is ffmpeg installed?)\n");
      return 1;
    }
  }
  CoInitialize(nullptr);
  int status = 1;
  {
    flumgraph::Modules modules;
    if (!modules.Problem().empty()) {
      std::fprintf(stderr, "%s\n", modules.Problem().c_str());
      return 1;
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(input)) / 1e6;
    bench::WarmPageCache(input);  // into the page cache for every contender

    std::vector<double> open, probe, ours, theirs, packetsOnly;
    long long allocations = 0;
    for (int i = 0; i < 3; ++i) {
      probe.push_back(OpenWithFfprobe(input));
      open.push_back(OpenWithFlumetta(input));
      theirs.push_back(DeliverWithFfmpeg(input, dir));
      ours.push_back(DeliverWithFlumetta(input, dir, &allocations));
      packetsOnly.push_back(DeliverPacketsOnly(input));
      if (*std::min_element(packetsOnly.begin(), packetsOnly.end()) < 0 ||
          *std::min_element(probe.begin(), probe.end()) < 0 || *std::min_element(open.begin(), open.end()) < 0 ||
          *std::min_element(theirs.begin(), theirs.end()) < 0 || *std::min_element(ours.begin(), ours.end()) < 0) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
      }
    }
    const bool same = bench::RunCommand("cmp -s '" + dir + "/ours.m2v' '" + dir + "/ffmpeg.m2v' && cmp -s '" + dir + "/ours.ac3' '" +
                          dir + "/ffmpeg.ac3'");
    const double packets = megabytes * 1e6 / 188;
    std::printf("input: %.1f MB, %.0f packets\n", megabytes, packets);
    std::printf("opening analysis (create + Load):       %8.3f s (median of 3)\n", bench::Median(open));
    std::printf("ffprobe -show_streams -show_format:     %8.3f s (median of 3)\n", bench::Median(probe));
    std::printf("ratio opening ours / ffprobe (time):    %8.2f\n", bench::Median(open) / bench::Median(probe));
    std::printf("Flumetta -> demultiplexer -> dumps:     %8.1f MB/s (median of 3: %.3f s, %.0f ns per packet)\n",
                megabytes / bench::Median(ours), bench::Median(ours), bench::Median(ours) * 1e9 / packets);
    std::printf("Flumetta -> null sink (source alone):   %8.1f MB/s (median of 3: %.3f s, %.0f ns per packet)\n",
                megabytes / bench::Median(packetsOnly), bench::Median(packetsOnly), bench::Median(packetsOnly) * 1e9 / packets);
    std::printf("ffmpeg -c copy (same two streams):      %8.1f MB/s (median of 3: %.3f s)\n", megabytes / bench::Median(theirs),
                bench::Median(theirs));
    std::printf("ratio delivery ours / ffmpeg (speed):   %8.2f\n", bench::Median(theirs) / bench::Median(ours));
    std::printf("heap allocations during one run of the graph: %lld (%.4f per packet)\n", allocations,
                static_cast<double>(allocations) / packets);
    std::printf("outputs identical to ffmpeg's: %s\n", same ? "yes" : "NO");
    status = same ? 0 : 1;
  }
  std::error_code ignored;
  if (argc > 1) {
    for (const char* name : {"ours.m2v", "ours.ac3", "ffmpeg.m2v", "ffmpeg.ac3"}) std::filesystem::remove(dir + "/" + name, ignored);
    std::filesystem::remove_all(dir + "/registry", ignored);
    std::filesystem::remove(dir, ignored);
  } else {
    std::filesystem::remove_all(dir, ignored);
  }
  return status;
}
