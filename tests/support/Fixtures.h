#pragma once
// Locating the ffmpeg-made fixture streams (made by tests/support/make-fixtures into
// $FIXTURE_DIR before the tests that need them) and skipping cleanly when ffmpeg is missing.
//
//   TEST(Demux, ReadsAc3) {
//     REQUIRE_FIXTURE(path, "mpeg2hd_ac3_mp2.ts");   // skips without ffmpeg or the file
//     REQUIRE_PROGRAM("ffprobe");
//     ...
//   }

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/Command.h"

namespace testsupport {

// $FIXTURE_DIR, or empty when the variable is not set.
std::filesystem::path FixtureDir();

// The fixture's full path, or empty when the fixture does not exist.
std::filesystem::path FixturePath(const std::string& name);

// Why a fixture is unusable, for the skip message; empty when it is usable.
std::string FixtureProblem(const std::string& name);

// A fresh empty folder under the temporary folder, for a test's output files.
std::filesystem::path MakeTempDir(const std::string& prefix);

}  // namespace testsupport

// Declares `var` (a std::filesystem::path) for the fixture, or skips the test with the reason.
#define REQUIRE_FIXTURE(var, name)                                                  \
  const std::filesystem::path var = ::testsupport::FixturePath(name);               \
  if (var.empty()) {                                                                \
    GTEST_SKIP() << ::testsupport::FixtureProblem(name);                            \
  }                                                                                 \
  static_assert(true)

// Skips the test when a program (ffmpeg, ffprobe, mediainfo) is not on the PATH.
#define REQUIRE_PROGRAM(program)                                                    \
  if (!::testsupport::ProgramAvailable(program)) {                                  \
    GTEST_SKIP() << (program) << " is not installed (Debian package ffmpeg or mediainfo); skipping"; \
  }                                                                                 \
  static_assert(true)
