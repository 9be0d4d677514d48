// Transport stream to DVR-MS, the converter's default conversion, next to `ffmpeg -c copy -f asf`
// writing the same two streams from the same file in the same run (medians of three runs each,
// the input in the page cache). Ours is the graph the converter builds: Flumetta, the MPEG-2
// Demultiplexer, the video analyzer, the audio tee with a dump filter on its second output, and
// the stream-buffer sink whose recorder writes the file; the time includes building the graph,
// running it to completion and finishing the recording. Heap allocations made during a run are
// counted; they must not grow with the number of packets. The processor time (user and system,
// all threads) of each contender is printed too: on a shared machine it varies less than the
// wall clock, which the disk's write-back and the other users move a lot.
//
//   filters_dvrms_bench [input.ts]   (without input, a ~200 MB MPEG-2 + AC3 stream is made)
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "platform/com/activation.h"
#include "tests/platform/filters/streambuffer/DvrGraph.h"

namespace {

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double RecordWithOurs(const std::string& input, const std::string& output, long long* allocations) {
  std::filesystem::remove(output);
  ::sync();  // no contender inherits the other's dirty pages
  const long long before = bench::HeapAllocations();
  const auto start = bench::Clock::now();
  const dvrtest::RecordResult result = dvrtest::RecordTransportStream(input, output, dvrtest::RecordOptions{});
  const double seconds = bench::SecondsSince(start);
  *allocations = bench::HeapAllocations() - before;
  if (FAILED(result.build) || FAILED(result.recorder) || result.completion != EC_COMPLETE || FAILED(result.recordingStatus))
    return -1;
  return seconds;
}

double RecordWithFfmpeg(const std::string& input, const std::string& output) {
  std::filesystem::remove(output);
  ::sync();
  const auto start = bench::Clock::now();
  const bool ok = bench::RunCommand("ffmpeg -nostdin -v error -y -i '" + input + "' -map 0:v:0 -map 0:a:0 -c copy -f asf '" +
                                    output + "'");
  return ok ? bench::SecondsSince(start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = bench::MakeWorkFolder("dvrms-bench");
  std::filesystem::create_directories(dir + "/registry");
  // Registration goes to a registry of the run's own, never the user's.
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
  const std::string problem = dvrtest::RegisterModules();
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  const double megabytes = static_cast<double>(std::filesystem::file_size(input)) / 1e6;
  bench::WarmPageCache(input);

  const std::string ours = dir + "/ours.dvr-ms", theirs = dir + "/ffmpeg.asf";
  std::vector<double> oursTimes, theirTimes, oursCpu, theirCpu;
  long long allocations = 0;
  for (int i = 0; i < 3; ++i) {
    const double childrenBefore = CpuSeconds(RUSAGE_CHILDREN);
    const double t = RecordWithFfmpeg(input, theirs);
    theirCpu.push_back(CpuSeconds(RUSAGE_CHILDREN) - childrenBefore);
    const double selfBefore = CpuSeconds(RUSAGE_SELF);
    const double o = RecordWithOurs(input, ours, &allocations);
    oursCpu.push_back(CpuSeconds(RUSAGE_SELF) - selfBefore);
    if (t < 0 || o < 0) {
      std::fprintf(stderr, "a run failed (ours %.3f s, ffmpeg %.3f s)\n", o, t);
      return 1;
    }
    theirTimes.push_back(t);
    oursTimes.push_back(o);
  }
  const double packets = megabytes * 1e6 / 188;
  const double oursRate = megabytes / bench::Median(oursTimes), theirRate = megabytes / bench::Median(theirTimes);
  std::printf("input: %.1f MB, %.0f packets; written: ours %.1f MB, ffmpeg's %.1f MB\n", megabytes, packets,
              static_cast<double>(std::filesystem::file_size(ours)) / 1e6,
              static_cast<double>(std::filesystem::file_size(theirs)) / 1e6);
  std::printf("TS -> DVR-MS (the converter's graph):  %8.1f MB/s (median of 3: %.3f s)\n", oursRate, bench::Median(oursTimes));
  std::printf("ffmpeg -c copy -f asf (same streams):  %8.1f MB/s (median of 3: %.3f s)\n", theirRate,
              bench::Median(theirTimes));
  std::printf("ratio ours / ffmpeg (speed): %.2f\n", oursRate / theirRate);
  std::printf("processor time, median of 3: ours %.3f s, ffmpeg %.3f s (ratio ffmpeg / ours %.2f)\n",
              bench::Median(oursCpu), bench::Median(theirCpu), bench::Median(theirCpu) / bench::Median(oursCpu));
  std::printf("heap allocations during one conversion: %lld (%.5f per packet)\n", allocations,
              static_cast<double>(allocations) / packets);
  std::error_code ignored;
  if (argc > 1) {
    std::filesystem::remove(ours, ignored);
    std::filesystem::remove(theirs, ignored);
    std::filesystem::remove_all(dir + "/registry", ignored);
    std::filesystem::remove(dir, ignored);
  } else {
    std::filesystem::remove_all(dir, ignored);
  }
  return 0;
}
