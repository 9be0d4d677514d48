#include <gtest/gtest.h>

#include <fstream>

#include "ProgramRunner.h"
#include "converter/engine/UsageText.h"
#include "engine/LogTestSupport.h"

namespace {

// Each test runs the program with its own temporary folder (conversion log) and registry.
class ProgramTest : public testing::Test {
 protected:
  ProgramRun Run(const std::vector<std::string>& args, long fileSizeLimit = -1) {
    return RunProgram(args, {"TMPDIR=" + m_temp.Path().string(), "PLATFORM_REGISTRY_DIR=" + m_registry.Path().string()},
                      fileSizeLimit);
  }
  std::string ConversionLogText() const { return ReadWholeFile(m_temp.File("brannock.log")); }

  TempDir m_temp;
  TempDir m_registry;
  TempDir m_recordings;
};

TEST_F(ProgramTest, HelpPrintsTheUsageTextAndEnds) {
  const std::string expected = UsageText("\n") + "\n";
  for (std::vector<std::string> args : {std::vector<std::string>{"/h"}, {"--help"}, {"/h", "/i", "x.ts"}}) {
    SCOPED_TRACE(args.front());
    ProgramRun run = Run(args);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, expected);
    EXPECT_FALSE(std::filesystem::exists("x.log"));
  }
  ProgramRun run = Run({"/h"});
  std::vector<std::string> lines = SplitLines(run.out);
  ASSERT_EQ(lines.size(), 28u);
  EXPECT_EQ(lines[0], "Orvanet Brannock Version 2.0 Beta 4");
  EXPECT_EQ(lines[4], "</i> <infile>");
  EXPECT_EQ(lines[13], "/f [0|1|2|3] ");
  EXPECT_EQ(lines[25], "\t");
}

TEST_F(ProgramTest, QuietRunOnMissingFileLogsWhyAndFails) {
  const std::string input = m_recordings.File("a.ts");
  ProgramRun run = Run({"/q", "/i", input, "/f", "3"});
  EXPECT_NE(run.exitStatus, 0);
  EXPECT_NE(run.exitStatus, -1);
  ExpectLogLines(ReadWholeFile(m_recordings.File("a.log")),
                 {Separator(), "@Staring conversion of " + input, Separator(), "@Cannot access " + input,
                  "@Shutting down."});
}

TEST_F(ProgramTest, QuietRunWithUnwritableBatchLogReportsOnStandardError) {
  const std::string input = m_recordings.File("missing-folder/a.ts");
  ProgramRun run = Run({"/q", input});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("Cannot access " + input), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Shutting down."), std::string::npos) << run.err;
}

// A full disk: the batch log already holds as much as the program may write, so every write to it
// fails; the entry must then reach standard error and the run still fail cleanly.
TEST_F(ProgramTest, QuietRunWhoseBatchLogCannotBeWrittenReportsOnStandardError) {
  const std::string input = m_recordings.File("a.ts");
  const std::string earlier(4096, '-');
  std::ofstream(m_recordings.File("a.log")) << earlier;
  ProgramRun run = Run({"/q", "/i", input}, static_cast<long>(earlier.size()));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find("cannot write log file"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Cannot access " + input), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Shutting down."), std::string::npos) << run.err;
  EXPECT_EQ(ReadWholeFile(m_recordings.File("a.log")), earlier) << "the earlier runs' entries are kept";
}

TEST_F(ProgramTest, TwoRunsAppendToOneConversionLog) {
  const std::string input = m_recordings.File("b.ts");
  std::ofstream(input) << "not yet convertible";
  for (int i = 0; i < 2; ++i) {
    ProgramRun run = Run({"/q", "/i", input});
    EXPECT_EQ(run.exitStatus, 1) << "not a transport stream";
  }
  std::vector<std::string> lines = SplitLines(ConversionLogText());
  int banners = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find("Brannock 2.5 - Logfile opened") == std::string::npos) continue;
    ++banners;
    ASSERT_GE(i, 1u);
    ASSERT_LT(i + 1, lines.size());
    EXPECT_EQ(lines[i - 1], Separator());
    EXPECT_EQ(lines[i + 1], Separator());
  }
  EXPECT_EQ(banners, 2) << ConversionLogText();
  EXPECT_NE(ReadWholeFile(m_recordings.File("b.log")).find("does not appear to be a transport stream"),
            std::string::npos);
}

TEST_F(ProgramTest, InformationSwitches) {
  EXPECT_EQ(Run({"--can-convert"}).exitStatus, 0);
  ProgramRun version = Run({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.out, "Brannock 2.5\n");
}

}  // namespace
