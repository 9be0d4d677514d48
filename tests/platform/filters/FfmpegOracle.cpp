#include "tests/platform/filters/FfmpegOracle.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace ffmpeg_oracle {

bool Available() {
  return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

bool ExtractStream(const std::string& input, const std::string& map, const std::string& format,
                   const std::string& outPath, std::string* log) {
  const std::string command = "ffmpeg -nostdin -v error -y -i '" + input + "' -map " + map + " -c copy -copyinkf -f " + format +
                              " '" + outPath + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  char buffer[512];
  std::string output;
  while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
  const int status = pclose(pipe);
  if (log) *log = command + "\n" + output;
  return status == 0;
}

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::string MakeTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/filters-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  return mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

std::string DataDir() {
  return TEST_DATA_DIR;
}

std::string DescribeDifference(const std::vector<unsigned char>& expected, const std::vector<unsigned char>& actual) {
  std::ostringstream out;
  const std::size_t common = std::min(expected.size(), actual.size());
  std::size_t at = 0;
  while (at < common && expected[at] == actual[at]) ++at;
  out << "sizes " << expected.size() << " (expected) and " << actual.size() << " (actual); first difference at "
      << at << "\n";
  auto dump = [&out, at](const char* label, const std::vector<unsigned char>& bytes) {
    out << label;
    const std::size_t from = at >= 8 ? at - 8 : 0;
    for (std::size_t i = from; i < std::min(bytes.size(), at + 16); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02x ", bytes[i]);
      out << (i == at ? "[" : "") << hex;
    }
    out << "\n";
  };
  dump("expected: ", expected);
  dump("actual:   ", actual);
  return out.str();
}

}  // namespace ffmpeg_oracle
