#include "converter/engine/MessageReporter.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "TempDir.h"

namespace {

class FakeWindow : public ReportTarget {
 public:
  bool IsQuiet() const override { return quiet; }
  bool IsLogOnly() const override { return logOnly; }
  std::string InputPath() const override { return inputPath; }
  void PostCloseRequest() override { ++closeRequests; }
  int ShowMessageBox(const std::string& text, UINT, UINT) override {
    boxes.push_back(text);
    return 1;
  }

  bool quiet = false;
  bool logOnly = false;
  std::string inputPath;
  int closeRequests = 0;
  std::vector<std::string> boxes;
};

TEST(MessageReporterTest, InteractiveRunShowsABoxAndLogsNothing) {
  TempDir dir;
  FakeWindow window;
  window.inputPath = dir.File("a.ts");
  MessageReporter reporter(&window);
  reporter.Report("Conversion completed successfully.");
  EXPECT_EQ(window.boxes, std::vector<std::string>{"Conversion completed successfully."});
  EXPECT_EQ(window.closeRequests, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.log")));
  EXPECT_FALSE(reporter.EndedQuietRun());
}

TEST(MessageReporterTest, QuietRunLogsTheMessageAndClosesTheWindow) {
  TempDir dir;
  FakeWindow window;
  window.quiet = true;
  window.inputPath = dir.File("a.ts");
  MessageReporter reporter(&window);
  reporter.Report("Cannot access " + window.inputPath);
  ExpectLogLines(ReadWholeFile(dir.File("a.log")),
                 {Separator(), "@Staring conversion of " + window.inputPath, Separator(),
                  "@Cannot access " + window.inputPath, "@Shutting down."});
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(window.closeRequests, 1);
  EXPECT_TRUE(reporter.EndedQuietRun());
}

TEST(MessageReporterTest, LogOnlyRunKeepsOneHeaderAndTheWindowOpen) {
  TempDir dir;
  FakeWindow window;
  window.logOnly = true;
  window.inputPath = dir.File("a.ts");
  MessageReporter reporter(&window);
  reporter.Report("first");
  window.inputPath = dir.File("b.ts");  // a later input does not move the log
  reporter.Report("second\n");
  ExpectLogLines(ReadWholeFile(dir.File("a.log")),
                 {Separator(), "@Staring conversion of " + dir.File("a.ts"), Separator(), "@first",
                  "@Shutting down.", "@second", "", "@Shutting down."});
  EXPECT_FALSE(std::filesystem::exists(dir.File("b.log")));
  EXPECT_EQ(window.closeRequests, 0);
  EXPECT_FALSE(reporter.EndedQuietRun());
}

TEST(MessageReporterTest, QuietRunWithoutInputWritesToStandardError) {
  FakeWindow window;
  window.quiet = true;
  MessageReporter reporter(&window);
  testing::internal::CaptureStderr();
  reporter.Report("No MPEG-2 Multiplexer installed. Cannot use MPEG-2 program stream output.");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("No MPEG-2 Multiplexer installed."), std::string::npos) << err;
  EXPECT_NE(err.find("Shutting down."), std::string::npos) << err;
  EXPECT_EQ(window.closeRequests, 1);
}

}  // namespace
