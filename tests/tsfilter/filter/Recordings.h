#pragma once
// Recordings for the filter tests: the bundled sample, its bytes, and longer recordings made by
// repeating it (long enough for the duration scan at the file's end and for seeks beyond the
// first 30000 packets).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tsfilter::testing {

inline std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The sample `copies` times over, in the temporary folder; the caller removes it.
inline std::string RepeatedSample(int copies, const std::string& tag) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/flumetta-" + tag + "-" +
                           std::to_string(::getpid()) + ".ts";
  const std::vector<std::uint8_t> bytes = FileBytes(SAMPLE_TS);
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < copies; ++i) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace tsfilter::testing
