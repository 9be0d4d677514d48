#pragma once
// Runs the brannock program from the build folder with a chosen environment and collects what it
// wrote and how it ended.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
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

// Runs the program with args; extraEnv entries ("NAME=value") replace those of this process. With
// fileSizeLimit >= 0 the program cannot make any file larger than that many bytes. A program
// still running after timeoutSeconds is killed (exit status -1): a hang fails the test.
inline ProgramRun RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                             long fileSizeLimit = -1, unsigned timeoutSeconds = 120,
                             const std::string& programPath = std::string()) {
  TempDir capture;
  const std::string outPath = capture.File("out");
  const std::string errPath = capture.File("err");
  const std::string program = programPath.empty() ? ProgramPath("brannock") : programPath;

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

  ProgramRun run;
  pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    if (fileSizeLimit >= 0) {
      // A write past the limit then fails with EFBIG instead of killing the program.
      ::signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = {static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::alarm(timeoutSeconds);  // survives exec: SIGALRM ends a program that hangs
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  if (pid > 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  }
  run.out = ReadWholeFile(outPath);
  run.err = ReadWholeFile(errPath);
  return run;
}
