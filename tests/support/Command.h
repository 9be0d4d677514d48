#pragma once
// Runs a shell command and captures its standard output, for tests that ask ffprobe or ffmpeg.

#include <string>

namespace testsupport {

struct CommandResult {
  int exitCode = -1;   // the command's exit status; -1 when it could not be run or was killed
  std::string output;  // everything it wrote to standard output
};

// Runs `command` with /bin/sh. Standard error is left alone unless the command redirects it.
CommandResult RunCommand(const std::string& command);

// True when `program` is found on the PATH.
bool ProgramAvailable(const std::string& program);

// Quotes a path or word for /bin/sh.
std::string ShellQuote(const std::string& word);

}  // namespace testsupport
