#pragma once
// The converter's command line. The shell hands the program separate words:
//  - the framework switches (Embedding, Automation, Regserver/Register, Unregserver/Unregister),
//    whole words after "/" or "-", recognised without regard to case;
//  - the program's own options: a whole word "/x" or "-x" with x a lower-case letter, its value
//    (for /i, /o, /d and /f) being the next word. At most five option words are taken, in order;
//    an unknown or upper-case letter is skipped together with its value.
//  - anything else is a loose word: a file handed over by a file manager, taken as the input path
//    when no /i gave one.
#include <span>
#include <string>
#include <string_view>

struct FrameworkSwitches {
  bool embedding = false;
  bool automation = false;
  bool regserver = false;    // "Regserver" or "Register"
  bool unregserver = false;  // "Unregserver" or "Unregister"

  // Started by an automation client: messages go to the batch log, the window stays open.
  bool RunsForAutomation() const { return embedding || automation; }
};

// What the program's own options fill into the main window before it is created.
struct ProgramOptions {
  std::string inputPath;
  std::string outputPath;
  std::string outputFolder;
  int outputKind = -1;  // OutputKind::None
  bool quiet = false;
  bool showHelp = false;  // /h: show the usage, then end without a main window
};

inline constexpr int kMaxProgramOptions = 5;

FrameworkSwitches ScanFrameworkSwitches(std::span<const std::string> words);

// Parses the program's options. Options after /h are not applied. Unless the program runs for
// automation, loose words become the input path when no /i set one (several loose words are
// joined with blanks, so that a path the shell split still opens, or fails with its full text).
ProgramOptions ParseProgramOptions(std::span<const std::string> words, bool forAutomation);

// The /f mapping by the value's first character: "0" DVR-MS, "1" program stream, "2" transport
// stream, "3" raw demultiplexed; anything else keeps the current kind.
int OutputKindForFormatValue(std::string_view value, int currentKind);

// True for a whole-word option "/x" or "-x" (any single character x).
bool IsOptionWord(std::string_view word);
