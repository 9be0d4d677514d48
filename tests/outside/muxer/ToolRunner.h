#pragma once
// Test helper: runs ffmpeg/ffprobe and reads what they print.
#include <cstdlib>
#include <cstdio>
#include <string>

namespace muxtest {

inline bool HaveTool(const char* name) {
  const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Runs a shell command and returns its standard output (standard error included when asked).
inline std::string RunCapture(const std::string& command, bool withStderr = false, int* status = nullptr) {
  std::string full = command + (withStderr ? " 2>&1" : " 2>/dev/null");
  std::string out;
  FILE* pipe = popen(full.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
  const int rc = pclose(pipe);
  if (status) *status = rc;
  return out;
}

// A fresh temporary folder for one test, removed with the object.
class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/muxtest.XXXXXX";
    if (mkdtemp(pattern)) m_path = pattern;
  }
  ~TempFolder() {
    if (!m_path.empty()) std::system(("rm -rf '" + m_path + "'").c_str());
  }
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

}  // namespace muxtest
