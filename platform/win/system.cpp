#include "platform/win/system.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

ULONGLONG GetTickCount64() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<ULONGLONG>(now.tv_sec) * 1000u + static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

void Sleep(DWORD milliseconds) {
  struct timespec remaining {
    static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L
  };
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

std::string GetTempPath() {
  const char* folder = std::getenv("TMPDIR");
  std::string path = folder && *folder ? folder : "/tmp";
  if (path.back() != '/') path += '/';
  return path;
}

DWORD GetTempPath(DWORD bufferLength, char* buffer) {
  const std::string path = GetTempPath();
  const auto length = static_cast<DWORD>(path.size());
  if (!buffer || bufferLength <= length) return length + 1;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return length;
}

LONGLONG GetFileSizeByName(const char* path) {
  struct stat st {};
  if (!path || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<LONGLONG>(st.st_size);
}

BOOL DeleteFile(const char* path) { return path && ::unlink(path) == 0 ? TRUE : FALSE; }

HRESULT OpenWithDefaultApplication(const char* pathOrUrl) {
  if (!pathOrUrl || !*pathOrUrl) return E_INVALIDARG;
  // The short-lived shell starts xdg-open in the background and exits, so the opener is adopted
  // by init and never left as a zombie of ours; the path is "$1", not part of the script.
  const char* script =
      "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
      "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &\n";
  char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(script),
                        const_cast<char*>("sh"), const_cast<char*>(pathOrUrl), nullptr};
  pid_t shell = 0;
  int error = ::posix_spawn(&shell, "/bin/sh", nullptr, nullptr, argv, environ);
  if (error != 0) return HresultFromErrno(error);
  int status = 0;
  while (::waitpid(shell, &status, 0) < 0) {
    if (errno != EINTR) return HresultFromErrno(errno);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return HRESULT_FROM_WIN32(2);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? S_OK : E_FAIL;
}
