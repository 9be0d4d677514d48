#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/win/system.h"

namespace {
// Sets an environment variable for one scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old, m_had = true;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnvironment() {
    if (m_had) ::setenv(m_name.c_str(), m_old.c_str(), 1);
    else ::unsetenv(m_name.c_str());
  }

 private:
  std::string m_name, m_old;
  bool m_had = false;
};

std::string MakeTemporaryFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "system-test-XXXXXX").string();
  return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

TEST(System, TempPathEndsWithOneSlash) {
  const struct {
    const char* tmpdir;
    const char* expected;
  } cases[] = {{nullptr, "/tmp/"}, {"", "/tmp/"}, {"/var/tmp", "/var/tmp/"}, {"/scratch/", "/scratch/"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tmpdir ? c.tmpdir : "(unset)");
    ScopedEnvironment tmpdir("TMPDIR", c.tmpdir);
    EXPECT_EQ(GetTempPath(), c.expected);
    const DWORD length = static_cast<DWORD>(std::strlen(c.expected));
    char buffer[64];
    EXPECT_EQ(GetTempPath(length, buffer), length + 1);  // no room for the zero: size needed
    EXPECT_EQ(GetTempPath(sizeof buffer, buffer), length);
    EXPECT_STREQ(buffer, c.expected);
  }
}

TEST(System, FilesByName) {
  const std::string folder = MakeTemporaryFolder();
  ASSERT_FALSE(folder.empty());
  const std::string file = folder + "/recording.ts";
  std::ofstream(file) << std::string(376, 'G');
  EXPECT_EQ(GetFileSizeByName(file.c_str()), 376);
  EXPECT_EQ(GetFileSizeByName(folder.c_str()), -1);  // a folder has no file size
  EXPECT_TRUE(DeleteFile(file.c_str()));
  EXPECT_EQ(GetFileSizeByName(file.c_str()), -1);
  EXPECT_FALSE(DeleteFile(file.c_str()));
  EXPECT_EQ(GetFileSizeByName(nullptr), -1);
  std::filesystem::remove_all(folder);

  const ULONGLONG before = GetTickCount64();
  Sleep(2);
  EXPECT_GE(GetTickCount64(), before + 2);
}

TEST(System, OpenWithDefaultApplicationPassesTheArgumentAsOneWord) {
  const std::string folder = MakeTemporaryFolder();
  ASSERT_FALSE(folder.empty());
  const std::string record = folder + "/opened";
  {
    std::ofstream script(folder + "/xdg-open");
    script << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"" << record << ".part\" && mv \"" << record << ".part\" \""
           << record << "\"\n";
  }
  ::chmod((folder + "/xdg-open").c_str(), 0755);
  const std::string tricky = folder + "/a b \"quoted\" $(touch " + folder + "/injected) `x`.html";
  {
    ScopedEnvironment path("PATH", (folder + ":/usr/bin:/bin").c_str());
    ASSERT_EQ(OpenWithDefaultApplication(tricky.c_str()), S_OK);
  }
  // The opener runs detached: wait for its record (a guard against hangs only).
  for (int i = 0; i < 3000 && !std::filesystem::exists(record); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ifstream in(record);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "1|" + tricky);
  EXPECT_FALSE(std::filesystem::exists(folder + "/injected"));

  {
    ScopedEnvironment path("PATH", (folder + "/nowhere").c_str());
    EXPECT_EQ(OpenWithDefaultApplication("/tmp/x.html"), HRESULT_FROM_WIN32(2));
  }
  EXPECT_EQ(OpenWithDefaultApplication(""), E_INVALIDARG);
  std::filesystem::remove_all(folder);
}
}  // namespace
