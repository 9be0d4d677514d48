#include "converter/engine/LogFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempDir.h"
#include "converter/engine/BatchLog.h"
#include "converter/engine/ConversionLog.h"
#include "LogTestSupport.h"

namespace {

TEST(LogFileTest, EveryRunAppendsItsOwnBannerBlock) {
  TempDir dir;
  const std::string path = dir.File("brannock.log");
  for (const char* text : {"first run\n", "second run\n"}) {
    ConversionLog log(path);
    log.Write(text);
  }
  ExpectLogLines(ReadWholeFile(path), {Separator(), "@Brannock 2.5 - Logfile opened", Separator(), "@first run",
                                       Separator(), "@Brannock 2.5 - Logfile opened", Separator(), "@second run"});
}

TEST(LogFileTest, FlushAloneOpensWithBannerOnly) {
  TempDir dir;
  const std::string path = dir.File("brannock.log");
  ConversionLog log(path);
  log.Flush();
  ExpectLogLines(ReadWholeFile(path), {Separator(), "@Brannock 2.5 - Logfile opened", Separator()});
}

TEST(LogFileTest, TextIsWrittenAsFormattedWithOnlyItsFirstLineStamped) {
  TempDir dir;
  const std::string path = dir.File("brannock.log");
  ConversionLog log(path);
  const std::string longLine(10000, 'x');
  log.Write("Filters in use:\nsecond\n");
  log.Write(longLine + "\n");
  ExpectLogLines(ReadWholeFile(path), {Separator(), "@Brannock 2.5 - Logfile opened", Separator(),
                                       "@Filters in use:", "second", "@" + longLine});
}

// A log that cannot be used must neither block nor lose its text: the text goes to standard error.
TEST(LogFileTest, UnusableLogFallsBackToStandardError) {
  TempDir dir;
  const std::string fifo = dir.File("fifo.log");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string taken = dir.File("taken.log");
  LogFile holder;
  ASSERT_TRUE(holder.Open(taken));

  struct UnusableCase {
    const char* name;
    std::string path;
  };
  const UnusableCase cases[] = {
      {"missing folder", dir.File("missing/brannock.log")},
      {"FIFO in the log's place", fifo},
      {"another writer holds it", taken},
      {"a folder in the log's place", dir.Path().string()},
      {"no path", ""},
  };
  for (const UnusableCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStderr();
    LogFile file;
    EXPECT_FALSE(file.Open(c.path));
    file.Write("Cannot access /rec/a.ts\n");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot open log file"), std::string::npos) << err;
    EXPECT_NE(err.find("Cannot access /rec/a.ts\n"), std::string::npos) << err;
  }
  EXPECT_EQ(ReadWholeFile(taken), "");
}

TEST(LogFileTest, BatchLogLiesBesideTheInput) {
  struct PathCase {
    const char* input;
    const char* log;
  };
  const PathCase cases[] = {
      {"/rec/a.ts", "/rec/a.log"},          {"/rec/a.b.ts", "/rec/a.b.log"},
      {"/rec/show", "/rec/show.log"},       {"/rec.d/show", "/rec.d/show.log"},
      {"/rec/a.log", "/rec/a.log.log"},     {"a.ts", "a.log"},
      {"", ""},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(BatchLogPath(c.input), c.log);
  }
}

}  // namespace
