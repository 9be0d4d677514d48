#include "converter/engine/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct OptionCase {
  const char* name;
  std::vector<std::string> words;
  std::string inputPath;
  int outputKind;
  bool quiet;
  bool showHelp;
  std::string outputPath = {};
  std::string outputFolder = {};
};

TEST(CommandLineTest, ProgramOptionsAreAppliedInOrder) {
  const OptionCase cases[] = {
      {"quiet conversion to program stream", {"/q", "/i", "/rec/a.ts", "/f", "1"}, "/rec/a.ts", 1, true, false},
      {"upper-case letter skipped with its value", {"/F", "1"}, "", -1, false, false},
      {"unknown letter skipped with its value", {"/x", "/rec/a.ts", "/f", "0"}, "", 0, false, false},
      {"only five options apply",
       {"/i", "/rec/a.ts", "/f", "2", "/o", "/out/b.ts", "/d", "/out", "/q", "/f", "0", "/i", "/rec/c.ts"},
       "/rec/a.ts", 4, true, false, "/out/b.ts", "/out"},
      {"help ends before later options", {"/h", "/i", "x.ts"}, "", -1, false, true},
      {"options before help still apply", {"/f", "1", "/h", "/f", "0"}, "", 1, false, true},
      {"lone path from a file manager", {"/rec/show.ts"}, "/rec/show.ts", -1, false, false},
      {"lone path with quiet flag", {"/q", "/rec/show.ts"}, "/rec/show.ts", -1, true, false},
      {"quiet flag alone is no input", {"/q"}, "", -1, true, false},
      {"split path words joined", {"/rec/my", "show.ts"}, "/rec/my show.ts", -1, false, false},
      {"explicit input wins over loose words", {"/i", "/rec/a.ts", "stray"}, "/rec/a.ts", -1, false, false},
      {"transport stream format", {"/f", "2"}, "", 4, false, false},
      {"raw demux format", {"/f", "3"}, "", 2, false, false},
      {"format by first character", {"/f", "0x"}, "", 0, false, false},
      {"unknown format keeps kind", {"/f", "1", "/f", "9"}, "", 1, false, false},
      {"later input replaces earlier", {"/i", "/rec/a.ts", "/i", "/rec/b.ts"}, "/rec/b.ts", -1, false, false},
      {"dash form", {"-q", "-i", "/rec/a.ts", "-f", "2"}, "/rec/a.ts", 4, true, false},
      {"option without value at the end", {"/i", "/rec/a.ts", "/i"}, "/rec/a.ts", -1, false, false},
      {"option followed by option has no value", {"/i", "/q"}, "", -1, true, false},
      {"framework switch is not an input", {"/Register"}, "", -1, false, false},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramOptions options = ParseProgramOptions(c.words, false);
    EXPECT_EQ(options.inputPath, c.inputPath);
    EXPECT_EQ(options.outputKind, c.outputKind);
    EXPECT_EQ(options.quiet, c.quiet);
    EXPECT_EQ(options.showHelp, c.showHelp);
    EXPECT_EQ(options.outputPath, c.outputPath);
    EXPECT_EQ(options.outputFolder, c.outputFolder);
  }
}

TEST(CommandLineTest, AutomationRunTakesNoLooseInput) {
  const std::vector<std::string> words = {"-Embedding", "/rec/a.ts"};
  EXPECT_EQ(ParseProgramOptions(words, true).inputPath, "");
}

TEST(CommandLineTest, FrameworkSwitchesIgnoreCaseAndPrefix) {
  struct SwitchCase {
    std::string word;
    bool embedding, automation, regserver, unregserver;
  };
  const SwitchCase cases[] = {
      {"/Embedding", true, false, false, false},  {"-embedding", true, false, false, false},
      {"/AUTOMATION", false, true, false, false}, {"/regserver", false, false, true, false},
      {"-Register", false, false, true, false},   {"/UnRegServer", false, false, false, true},
      {"-unregister", false, false, false, true}, {"Regserver", false, false, false, false},
      {"/regserverx", false, false, false, false}, {"/r", false, false, false, false},
  };
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(c.word);
    FrameworkSwitches s = ScanFrameworkSwitches(std::vector<std::string>{c.word});
    EXPECT_EQ(s.embedding, c.embedding);
    EXPECT_EQ(s.automation, c.automation);
    EXPECT_EQ(s.regserver, c.regserver);
    EXPECT_EQ(s.unregserver, c.unregserver);
  }
}

}  // namespace
