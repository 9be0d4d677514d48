// Runs the probe tool as a user would, against a fresh registry (the tool registers the module
// beside it on first use).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/platform/registry/TemporaryRegistry.h"

namespace {

struct RunResult {
  int status = -1;
  std::string output;
};

RunResult RunProbe(const std::string& arguments) {
  const char* bin = std::getenv("BIN_DIR");
  const std::string command = std::string(bin ? bin : ".") + "/tsprobe " + arguments + " 2>&1";
  RunResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  std::size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, read);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(TsprobeTest, PrintsProgramsStreamsAndPidsOfTheSample) {
  TemporaryRegistry registry;
  const RunResult run = RunProbe(SAMPLE_TS);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Program 1 \"Orvanet Test\", PMT PID 4096"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("stream type 0x02, PID 0x0100 (256)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Video: 720 x 576"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Packets: 10584"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Audio track: Audio (deu) (AC3) \n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Audio track: Audio (eng) (MPG) \n"), std::string::npos) << run.output;
}

TEST(TsprobeTest, AttributeAnswersOneLineEachAndEmptyForNone) {
  TemporaryRegistry registry;
  const RunResult run = RunProbe("--attr NUMPIDS --attr 'GETPID(-1)' --attr GETPIDS " + std::string(SAMPLE_TS));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "6\n\n0x0100 (256)\n");
}

TEST(TsprobeTest, MissingFileOrNoFileFails) {
  TemporaryRegistry registry;
  RunResult run = RunProbe("/nonexistent/recording.ts");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("cannot open /nonexistent/recording.ts"), std::string::npos) << run.output;
  run = RunProbe("");
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(RunProbe("--help").status, 0);
}

TEST(TsprobeTest, JsonNamesTheSameStreams) {
  TemporaryRegistry registry;
  const RunResult run = RunProbe("--json " + std::string(SAMPLE_TS));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("\"name\": \"Orvanet Test\""), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("{\"type\": 2, \"pid\": 256}"), std::string::npos) << run.output;
}

}  // namespace
