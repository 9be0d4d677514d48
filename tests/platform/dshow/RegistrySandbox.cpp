// Every test of this program sees a registry of its own: graph building consults the catalogue,
// which must not find what a developer's own registry happens to hold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class RegistrySandbox : public ::testing::Environment {
 public:
  void SetUp() override {
    m_folder = std::filesystem::temp_directory_path() / ("dshow-tests-registry-" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_folder);
    std::filesystem::create_directories(m_folder);
    setenv("PLATFORM_REGISTRY_DIR", m_folder.c_str(), 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }

 private:
  std::filesystem::path m_folder;
};

[[maybe_unused]] ::testing::Environment* const sandbox = ::testing::AddGlobalTestEnvironment(new RegistrySandbox);

}  // namespace
