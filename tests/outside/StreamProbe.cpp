#include "tests/outside/StreamProbe.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "tests/support/Command.h"

namespace outsidetest {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

long long Ticks(const std::string& text) {
  try {
    return text.empty() || text == "N/A" ? -1 : std::stoll(text);
  } catch (...) {
    return -1;
  }
}

}  // namespace

std::string ProbedStream::Describe(bool withLanguage) const {
  std::string text = codec + " " + sampleRate + " " + channels;
  if (withLanguage) text += " " + language;
  return text;
}

std::vector<ProbedStream> ProbeStreams(const std::string& path) {
  using testsupport::RunCommand;
  using testsupport::ShellQuote;
  std::vector<ProbedStream> streams;
  const auto info = RunCommand(
      "ffprobe -v error -show_entries stream=index,codec_name,sample_rate,channels:stream_tags=language -of flat " +
      ShellQuote(path));
  if (info.exitCode != 0) return streams;
  // streams.stream.0.codec_name="mp2", streams.stream.1.tags.language="deu"
  std::map<int, std::map<std::string, std::string>> fields;
  for (const std::string& line : Split(info.output, '\n')) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const auto key = Split(line.substr(0, eq), '.');
    if (key.size() < 4 || key[0] != "streams") continue;
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    fields[std::stoi(key[2])][key.back()] = value;
  }
  for (auto& [index, f] : fields) {
    if (index < 0 || index > 64) continue;
    streams.resize(std::max<std::size_t>(streams.size(), static_cast<std::size_t>(index) + 1));
    ProbedStream& s = streams[static_cast<std::size_t>(index)];
    s.codec = f["codec_name"];
    s.sampleRate = f["sample_rate"] == "N/A" ? "" : f["sample_rate"];
    s.channels = f["channels"] == "N/A" ? "" : f["channels"];
    s.language = f["language"];
  }
  const auto packets =
      RunCommand("ffprobe -v error -show_entries packet=stream_index,pts,dts -of csv=p=0 " + ShellQuote(path));
  for (const std::string& line : Split(packets.output, '\n')) {
    const auto parts = Split(line, ',');
    if (parts.size() < 3) continue;
    const long long index = Ticks(parts[0]);
    if (index >= 0 && static_cast<std::size_t>(index) < streams.size()) {
      streams[static_cast<std::size_t>(index)].packets.emplace_back(Ticks(parts[1]), Ticks(parts[2]));
    }
  }
  return streams;
}

void ExpectStreamsFromSource(const std::vector<ProbedStream>& source, const std::vector<ProbedStream>& output,
                             bool withLanguage) {
  std::vector<bool> used(source.size(), false);
  bool haveOffset = false;
  long long offset = 0;
  for (const ProbedStream& out : output) {
    SCOPED_TRACE("output stream " + out.Describe(true));
    std::size_t match = 0;
    while (match < source.size() && (used[match] || source[match].Describe(withLanguage) != out.Describe(withLanguage)))
      ++match;
    ASSERT_LT(match, source.size()) << "no source stream like it";
    used[match] = true;
    const ProbedStream& src = source[match];
    ASSERT_EQ(out.packets.size(), src.packets.size()) << "frames";
    for (std::size_t i = 0; i < src.packets.size(); ++i) {
      const auto [srcPts, srcDts] = src.packets[i];
      const auto [outPts, outDts] = out.packets[i];
      ASSERT_EQ(srcPts < 0, outPts < 0) << "PTS present, packet " << i;
      ASSERT_EQ(srcDts < 0, outDts < 0) << "DTS present, packet " << i;
      if (srcPts < 0) continue;
      if (!haveOffset) {
        offset = outPts - srcPts;
        haveOffset = true;
      }
      ASSERT_EQ(outPts - srcPts, offset) << "PTS of packet " << i;
      if (srcDts >= 0) {
        ASSERT_EQ(outDts - srcDts, offset) << "DTS of packet " << i;
      }
    }
  }
}

std::string DecodeErrors(const std::string& path) {
  return testsupport::RunCommand("ffmpeg -nostdin -v error -i " + testsupport::ShellQuote(path) + " -f null - 2>&1")
      .output;
}

}  // namespace outsidetest
