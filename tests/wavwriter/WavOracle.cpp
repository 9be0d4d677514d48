#include "tests/wavwriter/WavOracle.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/Command.h"
#include "tests/wavwriter/WavBytes.h"

using testsupport::RunCommand;
using testsupport::ShellQuote;

std::vector<BYTE> ExtractAc3Track(const std::filesystem::path& input, int track, const std::filesystem::path& workDir,
                                  std::string* log) {
  const auto out = workDir / ("track" + std::to_string(track) + ".ac3");
  const auto result = RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i " + ShellQuote(input.string()) +
                                 " -map 0:a:" + std::to_string(track) + " -c copy -f ac3 " +
                                 ShellQuote(out.string()) + " 2>&1");
  if (result.exitCode != 0) {
    if (log) *log = result.output;
    return {};
  }
  return ReadWholeFile(out);
}

ProbedAudio ProbeAudio(const std::filesystem::path& file, const std::string& format) {
  const std::string formatOption = format.empty() ? "" : " -f " + format;
  const auto result = RunCommand("ffprobe -v error" + formatOption +
                                 " -select_streams a:0 -show_entries stream=codec_name,channels,sample_rate,bit_rate"
                                 " -of default=noprint_wrappers=1 " +
                                 ShellQuote(file.string()));
  ProbedAudio probed;
  if (result.exitCode != 0) return probed;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "codec_name") probed.codec = value;
    if (key == "channels") probed.channels = std::atoi(value.c_str());
    if (key == "sample_rate") probed.sampleRate = std::atoi(value.c_str());
    if (key == "bit_rate") probed.bitRate = std::atol(value.c_str());
  }
  return probed;
}

std::vector<BYTE> ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::filesystem::path& file, const std::vector<BYTE>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<BYTE> WavDataChunk(const std::vector<BYTE>& wav) {
  if (wav.size() < 28 || ReadTag(wav, 0) != "RIFF" || ReadTag(wav, 12) != "fmt ") return {};
  const std::size_t dataTag = 20 + std::size_t{ReadLe32(wav, 16)};
  if (wav.size() < dataTag + 8 || ReadTag(wav, dataTag) != "data") return {};
  const std::size_t first = dataTag + 8;
  const std::size_t length = std::min<std::size_t>(ReadLe32(wav, dataTag + 4), wav.size() - first);
  return std::vector<BYTE>(wav.begin() + static_cast<std::ptrdiff_t>(first),
                           wav.begin() + static_cast<std::ptrdiff_t>(first + length));
}

std::string DescribeDifference(const std::vector<BYTE>& expected, const std::vector<BYTE>& actual) {
  std::size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  std::ostringstream text;
  text << "sizes " << expected.size() << " (expected) and " << actual.size() << " (actual); first difference at "
       << i;
  return text.str();
}
