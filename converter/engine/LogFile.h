#pragma once
// One text log file, kept open for the life of its owner.
//
// The file is created when missing and never truncated; every write goes to its end, so runs
// append. Another process writing the same log is refused (the first holder keeps it), as is
// anything that is not a regular file (a FIFO or device there would block or swallow the log).
// Nothing is lost silently: when the file cannot be opened or a write fails, the reason is said
// once on standard error and the text itself goes to standard error from then on.
#include <string>
#include <string_view>

class LogFile {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens path; false (reported on standard error) when it cannot be opened for writing.
  bool Open(const std::string& path);
  bool IsOpen() const { return m_fd >= 0; }
  const std::string& Path() const { return m_path; }

  // Writes text as it is; on failure the text goes to standard error.
  void Write(std::string_view text);
  // Hands what was written to the storage device.
  void Flush();

 private:
  void Fail(const char* what, int error);

  int m_fd = -1;
  std::string m_path;
};

// "[%H:%M:%S] " in local time, taken now; empty if the time cannot be formatted.
std::string LogTimeStamp();

// 71 minus signs and a line end.
std::string_view LogSeparatorLine();
