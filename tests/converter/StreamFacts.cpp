#include "StreamFacts.h"

#include <algorithm>
#include <cstdlib>

#include "tests/support/Command.h"

namespace streamfacts {

using testsupport::RunCommand;
using testsupport::ShellQuote;

namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

// The first value of each of the comma-separated entries for the first stream of a kind, joined
// with ",". (ffprobe lists a stream once more under its program; the first value is the stream's.)
std::string ProbeEntry(const std::string& path, const char* kind, const char* entries, bool countFrames = false) {
  const std::string command = std::string("ffprobe -v error ") + (countFrames ? "-count_frames " : "") +
                              "-select_streams " + kind + ":0 -show_entries stream=" + entries +
                              " -of default=noprint_wrappers=1 " + ShellQuote(path) + " 2>/dev/null";
  const auto result = RunCommand(command);
  if (result.exitCode != 0) return {};
  std::string joined;
  std::string names = entries;
  for (std::size_t start = 0; start <= names.size();) {
    const std::size_t comma = std::min(names.find(',', start), names.size());
    const std::string key = names.substr(start, comma - start) + "=";
    const std::size_t at = result.output.find(key);
    std::string value;
    if (at != std::string::npos && (at == 0 || result.output[at - 1] == '\n')) {
      const std::size_t end = result.output.find('\n', at);
      value = result.output.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
    }
    joined += (joined.empty() && start == 0 ? "" : ",") + Trimmed(value);
    start = comma + 1;
  }
  return joined;
}

std::size_t PayloadOffset(const unsigned char* packet) {
  const unsigned control = (packet[3] >> 4) & 3;
  if (control == 2 || control == 0) return 188;  // no payload
  if (control == 3) return 5 + packet[4];
  return 4;
}

}  // namespace

long FrameCount(const std::string& path, const char* kind) {
  const std::string text = ProbeEntry(path, kind, "nb_read_frames", true);
  return text.empty() ? -1 : std::atol(text.c_str());
}

std::string CodecName(const std::string& path, const char* kind) { return ProbeEntry(path, kind, "codec_name"); }

std::string AudioLayout(const std::string& path) { return ProbeEntry(path, "a", "channels,sample_rate"); }

std::string DecodeErrors(const std::string& path) {
  const auto result = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f null - 2>&1");
  return result.exitCode == 0 ? result.output : "ffmpeg failed: " + result.output;
}

std::string ExtractWithFfmpeg(const std::string& input, const std::string& map, const std::string& format,
                              const std::string& output) {
  RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(input) + " -map " + map + " -c copy -f " + format + " " +
             ShellQuote(output) + " 2>&1");
  return output;
}

int VideoPid(const std::string& path) {
  const std::string text = ProbeEntry(path, "v", "id");
  return text.empty() ? -1 : static_cast<int>(std::strtol(text.c_str(), nullptr, 0));
}

long FirstSequenceHeaderPacket(const std::string& bytes, int pid) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188) {
    const unsigned char* packet = data + at;
    if (packet[0] != 0x47 || (((packet[1] & 0x1F) << 8) | packet[2]) != pid || !(packet[1] & 0x40)) continue;
    for (std::size_t i = PayloadOffset(packet); i + 4 <= 188; ++i) {
      if (packet[i] == 0 && packet[i + 1] == 0 && packet[i + 2] == 1 && packet[i + 3] == 0xB3)
        return static_cast<long>(at / 188);
    }
  }
  return -1;
}

std::vector<std::int64_t> VideoPresentationTimes(const std::string& bytes, int pid) {
  std::vector<std::int64_t> times;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188) {
    const unsigned char* packet = data + at;
    if (packet[0] != 0x47 || (((packet[1] & 0x1F) << 8) | packet[2]) != pid || !(packet[1] & 0x40)) continue;
    const std::size_t offset = PayloadOffset(packet);
    if (offset + 14 > 188) continue;
    const unsigned char* pes = packet + offset;
    if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || !(pes[7] & 0x80)) continue;
    const unsigned char* pts = pes + 9;
    times.push_back((static_cast<std::int64_t>(pts[0] & 0x0E) << 29) | (pts[1] << 22) | ((pts[2] & 0xFE) << 14) |
                    (pts[3] << 7) | (pts[4] >> 1));
  }
  return times;
}

}  // namespace streamfacts
