#include "converter/engine/LogFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

void WriteToStandardError(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// Opens without following into a FIFO's wait, then insists on a regular file.
int OpenRegularFileForAppend(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return -errno;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -EINVAL;
  }
  // Other writers are denied: a second process's log on the same file fails instead of interleaving.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return -error;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

LogFile::~LogFile() {
  if (m_fd >= 0) ::close(m_fd);
}

bool LogFile::Open(const std::string& path) {
  m_path = path;
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
  if (path.empty()) {
    Fail("open", ENOENT);
    return false;
  }
  int result = OpenRegularFileForAppend(path);
  if (result < 0) {
    Fail("open", -result);
    return false;
  }
  m_fd = result;
  return true;
}

void LogFile::Write(std::string_view text) {
  if (m_fd < 0) {
    WriteToStandardError(text);
    return;
  }
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail("write", n < 0 ? errno : ENOSPC);
      WriteToStandardError(text.substr(done));
      return;
    }
    done += static_cast<size_t>(n);
  }
}

void LogFile::Flush() {
  if (m_fd >= 0 && ::fdatasync(m_fd) != 0 && errno != EINVAL) Fail("flush", errno);
}

void LogFile::Fail(const char* what, int error) {
  std::string text = "brannock: cannot " + std::string(what) + " log file \"" + m_path + "\": " +
                     std::strerror(error) + "; its entries follow here\n";
  WriteToStandardError(text);
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

std::string LogTimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local {};
  char text[32];
  if (!::localtime_r(&now, &local)) return {};
  size_t length = std::strftime(text, sizeof text, "[%H:%M:%S] ", &local);
  return std::string(text, length);
}

std::string_view LogSeparatorLine() {
  static const std::string line = std::string(71, '-') + "\n";
  return line;
}
