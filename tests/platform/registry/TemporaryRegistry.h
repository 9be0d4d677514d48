#pragma once
// Points the registry at a fresh temporary folder for the life of the object (tests must never
// touch the user's own registry), and removes the folder afterwards.
#include <cstdlib>
#include <filesystem>
#include <string>

class TemporaryRegistry {
 public:
  TemporaryRegistry() {
    if (const char* previous = std::getenv("PLATFORM_REGISTRY_DIR")) m_previous = previous, m_hadPrevious = true;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/registry-test-XXXXXX";
    if (::mkdtemp(pattern.data())) m_folder = pattern;
    ::setenv("PLATFORM_REGISTRY_DIR", m_folder.c_str(), 1);
  }
  ~TemporaryRegistry() {
    if (m_hadPrevious) ::setenv("PLATFORM_REGISTRY_DIR", m_previous.c_str(), 1);
    else ::unsetenv("PLATFORM_REGISTRY_DIR");
    std::error_code ignored;
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
  }
  TemporaryRegistry(const TemporaryRegistry&) = delete;
  TemporaryRegistry& operator=(const TemporaryRegistry&) = delete;

  const std::string& Folder() const { return m_folder; }

 private:
  std::string m_folder;
  std::string m_previous;
  bool m_hadPrevious = false;
};
