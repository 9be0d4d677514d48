#include "tests/support/Fixtures.h"

#include <cstdlib>
#include <random>

#include "tests/support/Command.h"

namespace testsupport {

std::filesystem::path FixtureDir() {
  const char* dir = std::getenv("FIXTURE_DIR");
  return dir == nullptr ? std::filesystem::path() : std::filesystem::path(dir);
}

std::filesystem::path FixturePath(const std::string& name) {
  const std::filesystem::path dir = FixtureDir();
  if (dir.empty()) return {};
  std::error_code ec;
  const std::filesystem::path path = dir / name;
  return std::filesystem::is_regular_file(path, ec) ? path : std::filesystem::path();
}

std::string FixtureProblem(const std::string& name) {
  if (!ProgramAvailable("ffmpeg")) return "ffmpeg is not installed (Debian package ffmpeg); fixture " + name + " cannot be made; skipping";
  if (FixtureDir().empty()) return "FIXTURE_DIR is not set; run the test through ctest so the fixtures are made; skipping";
  if (FixturePath(name).empty()) return "fixture " + name + " is missing in " + FixtureDir().string() + " (run tests/support/make-fixtures); skipping";
  return {};
}

std::filesystem::path MakeTempDir(const std::string& prefix) {
  std::random_device random;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path dir = base / (prefix + "-" + std::to_string(random()));
    std::error_code ec;
    if (std::filesystem::create_directory(dir, ec)) return dir;
  }
  return {};
}

}  // namespace testsupport
