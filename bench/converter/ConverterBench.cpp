// Whole-process comparison of the converter with `ffmpeg -c copy`: the same large transport
// stream (in the page cache) converted by quiet brannock and by ffmpeg to the same kind of
// output, in the same run, rounds interleaved (medians of three each):
//  - program stream:      brannock /q /i X.ts /f 1   next to ffmpeg -c copy -f vob
//  - elementary streams:  brannock /q /i X.ts /f 3   next to ffmpeg -c copy to .m2v + .ac3
//  - transport stream:    brannock /q /i X.ts /f 2   next to ffmpeg -c copy -f mpegts
// Prints each throughput, each ratio (ours / ffmpeg's, higher is faster) with its goal, and the
// peak resident memory of every brannock run (the child's ru_maxrss).
//
// brannock runs with a registry of the benchmark's own (PLATFORM_REGISTRY_DIR in a temporary
// folder), where the filter modules beside this program are registered first with regsvr.
// Each round removes the previous outputs first, so neither contender writes over large files,
// and every run starts with no dirty pages waiting for the disk; the elementary streams are
// compared with ffmpeg's outside the timing.
//
//   converter_bench [input.ts]   (without input, ffmpeg makes a ~1.3 GB MPEG-2 + AC3 stream;
//                                 the streams compared are the first video and first audio)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
  double seconds = -1;  // negative: the run failed
  long peakKilobytes = 0;
};

// Runs argv[0] (searched in PATH) with the arguments, standard output to /dev/null, and measures
// its wall time and peak resident memory.
RunResult RunMeasured(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const auto start = bench::Clock::now();
  const pid_t child = fork();
  if (child < 0) return {};
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    const int in = open("/dev/null", O_RDONLY);
    if (in >= 0) dup2(in, STDIN_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return {};
  RunResult result;
  result.peakKilobytes = usage.ru_maxrss;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) result.seconds = bench::SecondsSince(start);
  return result;
}

std::string ProgramFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

struct Conversion {
  const char* name;
  const char* format;                    // brannock's /f
  std::vector<std::string> ourOutputs;   // file names brannock writes into the output folder
  double goal;                           // ratio to reach
  std::vector<std::string> (*ffmpegArgs)(const std::string& input, const std::string& dir);
};

std::vector<std::string> FfmpegProgramStream(const std::string& input, const std::string& dir) {
  return {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", input, "-map", "0:v:0", "-map", "0:a:0", "-c", "copy", "-f", "vob",
          dir + "/ffmpeg.mpg"};
}

std::vector<std::string> FfmpegElementary(const std::string& input, const std::string& dir) {
  return {"ffmpeg", "-nostdin", "-v",           "error", "-y",   "-i",  input, "-map", "0:v:0", "-c", "copy", "-f", "mpeg2video",
          dir + "/ffmpeg.m2v", "-map", "0:a:0", "-c",  "copy", "-f", "ac3", dir + "/ffmpeg.ac3"};
}

std::vector<std::string> FfmpegTransportStream(const std::string& input, const std::string& dir) {
  return {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", input, "-map", "0:v:0", "-map", "0:a:0", "-c", "copy", "-f", "mpegts",
          dir + "/ffmpeg.ts"};
}

void RemoveOutputs(const std::string& dir) {
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(dir, ignored)) {
    if (entry.is_regular_file(ignored)) fs::remove(entry.path(), ignored);
  }
}

bool RegisterModules(const std::string& bin) {
  for (const char* module : {"Flumetta", "Ambrel", "Gallowin", "PsTsMultiplexer", "Ac3Analyzer"}) {
    if (RunMeasured({bin + "/regsvr", "/s", bin + "/" + module + ".ax"}).seconds < 0) {
      std::fprintf(stderr, "could not register %s.ax with %s/regsvr\n", module, bin.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string bin = ProgramFolder();
  const std::string dir = bench::MakeWorkFolder("converter-bench");
  const std::string out = dir + "/out";
  fs::create_directories(out);
  fs::create_directories(dir + "/registry");
  // Registration goes to a registry of the run's own, never the user's; brannock's diagnostic
  // log goes to the run's own temporary folder, so another converter running meanwhile (whose
  // log is locked) changes nothing.
  setenv("PLATFORM_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
  fs::create_directories(dir + "/tmp");
  setenv("TMPDIR", (dir + "/tmp").c_str(), 1);
  std::string input = argc > 1 ? fs::absolute(argv[1]).string() : "";
  int status = 1;
  if (input.empty()) {
    std::printf("making a test stream (MPEG-2 1280x720 at 25 Mbit/s + AC3, looped to about 1.3 GB)...\n");
    input = dir + "/big.ts";
    const bool made = bench::MakeHdTestStream(dir, 59, input);
    if (!made) {
      std::fprintf(stderr, "ffmpeg could not make the test stream (is ffmpeg installed?)\n");
      fs::remove_all(dir);
      return 1;
    }
  }
  if (RunMeasured({bin + "/brannock", "--can-convert"}).seconds < 0) {
    std::fprintf(stderr, "%s/brannock cannot convert yet (--can-convert)\n", bin.c_str());
  } else if (RegisterModules(bin)) {
    const std::string stem = fs::path(input).stem().string();
    const Conversion conversions[] = {
        {"program stream (/f 1 vs -f vob)", "1", {stem + ".mpg"}, 1.5, FfmpegProgramStream},
        {"elementary streams (/f 3 vs .m2v + .ac3)", "3", {stem + ".raw", stem + ".ac3"}, 1.5, FfmpegElementary},
        {"transport stream (/f 2 vs -f mpegts)", "2", {stem + ".ts"}, 2.0, FfmpegTransportStream},
    };
    const double megabytes = static_cast<double>(fs::file_size(input)) / 1e6;
    std::printf("input: %s, %.1f MB (%.0f packets)\n", input.c_str(), megabytes, megabytes * 1e6 / 188);
    bench::WarmPageCache(input);  // into the page cache for every contender

    bool allMet = true, allRan = true;
    long peakOverall = 0;
    for (const Conversion& conversion : conversions) {
      std::vector<double> ours, theirs;
      long peak = 0, ffmpegPeak = 0;
      bool sameStreams = true;
      for (int round = 0; round < 3 && allRan; ++round) {
        // Each run starts from the same state: no output of an earlier run, neither to write over
        // nor holding the page cache (the freed pages are what the next writer reuses), and no
        // dirty pages waiting for the disk.
        RemoveOutputs(out);
        sync();
        const RunResult theirRun = RunMeasured(conversion.ffmpegArgs(input, out));
        RemoveOutputs(out);
        sync();
        const RunResult ourRun = RunMeasured({bin + "/brannock", "/q", "/i", input, "/f", conversion.format, "/d", out});
        if (theirRun.seconds < 0 || ourRun.seconds < 0) {
          std::fprintf(stderr, "%s: a run failed (brannock %.3f s, ffmpeg %.3f s)\n", conversion.name, ourRun.seconds,
                       theirRun.seconds);
          allRan = false;
          break;
        }
        for (const std::string& name : conversion.ourOutputs) {
          if (!fs::exists(out + "/" + name)) {
            std::fprintf(stderr, "%s: brannock wrote no %s\n", conversion.name, name.c_str());
            allRan = false;
          }
        }
        ours.push_back(ourRun.seconds);
        theirs.push_back(theirRun.seconds);
        peak = std::max(peak, ourRun.peakKilobytes);
        ffmpegPeak = std::max(ffmpegPeak, theirRun.peakKilobytes);
      }
      if (!allRan) break;
      if (std::string(conversion.format) == "3") {
        // Outside the timing: ffmpeg's streams next to the last run's.
        sameStreams = RunMeasured(conversion.ffmpegArgs(input, out)).seconds >= 0 &&
                      bench::RunCommand("cmp -s '" + out + "/" + conversion.ourOutputs[0] + "' '" + out + "/ffmpeg.m2v' && cmp -s '" +
                                        out + "/" + conversion.ourOutputs[1] + "' '" + out + "/ffmpeg.ac3'");
      }
      RemoveOutputs(out);
      const double ratio = bench::Median(theirs) / bench::Median(ours);
      allMet = allMet && ratio >= conversion.goal;
      peakOverall = std::max(peakOverall, peak);
      std::printf("%s\n", conversion.name);
      std::printf("  brannock: %8.1f MB/s (median of 3: %.3f s), peak resident memory %.1f MiB\n", megabytes / bench::Median(ours),
                  bench::Median(ours), static_cast<double>(peak) / 1024);
      std::printf("  ffmpeg:   %8.1f MB/s (median of 3: %.3f s), peak resident memory %.1f MiB\n",
                  megabytes / bench::Median(theirs), bench::Median(theirs), static_cast<double>(ffmpegPeak) / 1024);
      std::printf("  ratio brannock / ffmpeg (speed): %.2f (goal %.1f: %s)\n", ratio, conversion.goal,
                  ratio >= conversion.goal ? "met" : "MISSED");
      if (std::string(conversion.format) == "3")
        std::printf("  elementary streams identical to ffmpeg's: %s\n", sameStreams ? "yes" : "NO");
      allMet = allMet && sameStreams;
    }
    if (allRan) {
      const bool memoryMet = peakOverall <= 32 * 1024;
      std::printf("brannock peak resident memory over all runs: %.1f MiB (goal at most 32 MiB: %s)\n",
                  static_cast<double>(peakOverall) / 1024, memoryMet ? "met" : "MISSED");
      std::printf("all goals: %s\n", allMet && memoryMet ? "met" : "not all met");
      status = 0;  // a benchmark reports; a missed goal is no failure of the run
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return status;
}
