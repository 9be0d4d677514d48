#include "converter/engine/CommandLine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "converter/engine/OutputKind.h"

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsSwitchPrefix(char c) { return c == '/' || c == '-'; }

// The framework switch a word names ("" when it names none).
std::string_view FrameworkSwitchName(std::string_view word) {
  static constexpr std::array<std::string_view, 6> kNames = {"Embedding",   "Automation", "Regserver",
                                                             "Register",    "Unregserver", "Unregister"};
  if (word.size() < 2 || !IsSwitchPrefix(word.front())) return {};
  std::string_view name = word.substr(1);
  for (std::string_view known : kNames) {
    if (EqualsIgnoringCase(name, known)) return known;
  }
  return {};
}

// Letters whose option carries a value in the next word. Unknown letters carry one too: they are
// skipped together with it.
bool TakesValue(char letter) { return letter != 'q' && letter != 'h'; }

void ApplyOption(char letter, const std::string& value, ProgramOptions* options) {
  switch (letter) {
    case 'i': options->inputPath = value; break;
    case 'o': options->outputPath = value; break;
    case 'd': options->outputFolder = value; break;
    case 'f': options->outputKind = OutputKindForFormatValue(value, options->outputKind); break;
    case 'q': options->quiet = true; break;
    case 'h': options->showHelp = true; break;
    default: break;  // upper-case and unknown letters are ignored without a message
  }
}

std::string JoinWithBlanks(std::span<const std::string> words) {
  std::string joined;
  for (const std::string& word : words) {
    if (!joined.empty()) joined += ' ';
    joined += word;
  }
  return joined;
}

}  // namespace

bool IsOptionWord(std::string_view word) { return word.size() == 2 && IsSwitchPrefix(word.front()); }

FrameworkSwitches ScanFrameworkSwitches(std::span<const std::string> words) {
  FrameworkSwitches switches;
  for (const std::string& word : words) {
    std::string_view name = FrameworkSwitchName(word);
    if (name == "Embedding") switches.embedding = true;
    if (name == "Automation") switches.automation = true;
    if (name == "Regserver" || name == "Register") switches.regserver = true;
    if (name == "Unregserver" || name == "Unregister") switches.unregserver = true;
  }
  return switches;
}

int OutputKindForFormatValue(std::string_view value, int currentKind) {
  if (value.empty()) return currentKind;
  switch (value.front()) {
    case '0': return OutputKind::DvrMs;
    case '1': return OutputKind::ProgramStream;
    case '2': return OutputKind::TransportStream;
    case '3': return OutputKind::DemuxRaw;  // the WAV variant has no command-line value
    default: return currentKind;
  }
}

ProgramOptions ParseProgramOptions(std::span<const std::string> words, bool forAutomation) {
  ProgramOptions options;
  std::vector<std::string> looseWords;
  int optionCount = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!FrameworkSwitchName(word).empty()) continue;
    if (!IsOptionWord(word)) {
      looseWords.push_back(word);
      continue;
    }
    if (optionCount == kMaxProgramOptions) break;  // a sixth option and everything after it are lost
    ++optionCount;
    const char letter = word[1];
    if (TakesValue(letter)) {
      // An option without a value (last word, or followed by another option) is not applied.
      if (i + 1 >= words.size() || IsOptionWord(words[i + 1])) continue;
      ApplyOption(letter, words[++i], &options);
    } else {
      ApplyOption(letter, {}, &options);
    }
    if (options.showHelp) return options;  // nothing after /h is applied
  }
  if (!forAutomation && options.inputPath.empty() && !looseWords.empty()) {
    options.inputPath = JoinWithBlanks(looseWords);
  }
  return options;
}
