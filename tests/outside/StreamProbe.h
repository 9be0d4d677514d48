#pragma once
// Test oracle: what ffprobe reads from a file (streams, and every packet's time stamps after
// ffmpeg's parsers cut the streams into frames), and the comparison of an output with its source.
#include <string>
#include <vector>

namespace outsidetest {

struct ProbedStream {
  std::string codec;
  std::string sampleRate;  // empty for video
  std::string channels;
  std::string language;    // empty when the container carries none
  std::vector<std::pair<long long, long long>> packets;  // pts, dts in 90 kHz ticks; -1 for none
  std::string Describe(bool withLanguage) const;
};

// Streams in ffprobe's order; empty when ffprobe fails.
std::vector<ProbedStream> ProbeStreams(const std::string& path);

// Checks with gtest expectations that every output stream is one of the source's (same codec,
// sample rate, channels, and language when asked), with as many packets and the same PTS/DTS up
// to one offset shared by all streams.
void ExpectStreamsFromSource(const std::vector<ProbedStream>& source, const std::vector<ProbedStream>& output,
                             bool withLanguage);

// What `ffmpeg -v error -i path -f null -` prints (standard error included).
std::string DecodeErrors(const std::string& path);

}  // namespace outsidetest
