#pragma once
// Runs the brannock program from the build folder with a chosen environment and collects what it
// wrote and how it ended.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/TempDir.h"

extern char** environ;

struct ProgramRun {
  int exitStatus = -1;  // -1 when the program did not end normally
  std::string out;
  std::string err;
};

inline std::string ProgramPath(const std::string& name) {
  const char* bin = std::getenv("BIN_DIR");
  return std::string(bin ? bin : ".") + "/" + name;
}

// Runs the program with args; extraEnv entries ("NAME=value") replace those of this process.
inline ProgramRun RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
  TempDir capture;
  const std::string outPath = capture.File("out");
  const std::string errPath = capture.File("err");
  const std::string program = ProgramPath("brannock");

  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const std::string& extra : extraEnv) {
      replaced |= entry.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0;
    }
    if (!replaced) envStrings.push_back(entry);
  }
  envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());

  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ProgramRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadWholeFile(outPath);
  run.err = ReadWholeFile(errPath);
  return run;
}
