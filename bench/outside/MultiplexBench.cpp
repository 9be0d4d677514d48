// Program-stream multiplexing speed against `ffmpeg -c copy -f vob` on the same input, in the
// same run. Usage: outside_muxer_bench [input.ts]  (without an input, ffmpeg makes a 20 s
// MPEG-2 + AC3 recording). The multiplexer is timed from demultiplexed PES payloads held in
// memory to a sink that discards the output (ffmpeg also reads and parses the transport stream,
// so the ratio favours us by that part); allocations made while multiplexing are counted.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "TsPesExtractor.h"
#include "outside/muxer/ProgramStreamWriter.h"

namespace {

std::atomic<long> g_allocations{0};

class DiscardSink : public outside::ByteSink {
 public:
  HRESULT Write(const std::uint8_t*, std::size_t size) override {
    bytes += size;
    return S_OK;
  }
  std::uint64_t bytes = 0;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

bool KindOf(std::uint8_t type, outside::StreamKind& kind) {
  switch (type) {
    case 0x01: kind = outside::StreamKind::Mpeg1Video; return true;
    case 0x02: kind = outside::StreamKind::Mpeg2Video; return true;
    case 0x03:
    case 0x04: kind = outside::StreamKind::MpegAudio; return true;
    case 0x06:
    case 0x81: kind = outside::StreamKind::Ac3Audio; return true;
    default: return false;
  }
}

}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
  std::string input = argc > 1 ? argv[1] : "";
  if (input.empty()) {
    input = "/tmp/outside_muxer_bench_input.ts";
    struct stat st {};
    if (stat(input.c_str(), &st) != 0) {
      const std::string make =
          "ffmpeg -v error -y -f lavfi -i testsrc2=size=720x576:rate=25:duration=20 -f lavfi -i "
          "sine=frequency=440:sample_rate=48000:duration=20 -c:v mpeg2video -b:v 8000k -maxrate 9000k -bufsize "
          "1835k -g 12 -bf 2 -c:a ac3 -b:a 448k -ac 2 -f mpegts '" + input + "'";
      if (std::system(make.c_str()) != 0) {
        std::printf("ffmpeg could not make the input; nothing measured\n");
        return 0;
      }
    }
  }
  muxtest::TsContent content;
  if (!muxtest::ExtractPes(input, content)) {
    std::printf("cannot read %s\n", input.c_str());
    return 1;
  }
  struct stat st {};
  stat(input.c_str(), &st);
  const double inputMb = static_cast<double>(st.st_size) / 1e6;

  std::vector<double> ours;
  long allocations = 0;
  std::uint64_t written = 0;
  for (int run = 0; run < 5; ++run) {
    DiscardSink sink;
    outside::ProgramStreamWriter writer;
    writer.Open(&sink, outside::MuxSettings());
    for (const auto& entry : content.streams) {
      outside::StreamInfo info;
      int index = -1;
      if (!KindOf(entry.streamType, info.kind) || FAILED(writer.AddStream(info, &index))) {
        std::printf("stream type 0x%02x not carried in program streams\n", entry.streamType);
        return 1;
      }
    }
    const long before = g_allocations.load();
    const auto start = std::chrono::steady_clock::now();
    for (const auto& chunk : content.chunks) {
      writer.Write(chunk.stream, chunk.payload.data(), chunk.payload.size(),
                   chunk.pts < 0 ? outside::kNoTime : chunk.pts, chunk.dts < 0 ? outside::kNoTime : chunk.dts);
    }
    writer.Finish();
    const double elapsed = Seconds(start);
    allocations = g_allocations.load() - before;
    ours.push_back(elapsed);
    written = sink.bytes;
  }

  std::vector<double> theirs;
  for (int run = 0; run < 5; ++run) {
    const std::string command = "ffmpeg -v error -y -i '" + input + "' -map 0 -c copy -f vob /dev/null";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      std::printf("ffmpeg -c copy -f vob failed\n");
      return 1;
    }
    theirs.push_back(Seconds(start));
  }
  const double oursMbs = inputMb / Median(ours);
  const double theirsMbs = inputMb / Median(theirs);
  std::printf("input %.1f MB, %zu PES packets; program stream written: %.1f MB\n", inputMb, content.chunks.size(),
              static_cast<double>(written) / 1e6);
  std::printf("multiplexer (PES in memory -> PS):   %8.1f MB/s (median of 5)\n", oursMbs);
  std::printf("ffmpeg -c copy -f vob (TS file -> PS): %8.1f MB/s (median of 5)\n", theirsMbs);
  std::printf("ratio: %.2f; allocations while multiplexing: %ld\n", oursMbs / theirsMbs, allocations);
  return 0;
}
