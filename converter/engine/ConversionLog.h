#pragma once
// The conversion log: the diagnostic file every engine step writes to, one per process, opened at
// its first use. Each run appends a block of separator line, stamped banner and separator line,
// then one stamped entry per message. Entries are written as formatted: callers end their texts
// with "\n" themselves, so a text of several lines has only its first line stamped.
#include <mutex>
#include <string>
#include <string_view>

#include "converter/engine/LogFile.h"

class ConversionLog {
 public:
  explicit ConversionLog(std::string path) : m_path(std::move(path)) {}

  // Writes the time stamp followed by text.
  void Write(std::string_view text);
  // Flushes what was written; writes nothing else.
  void Flush();
  const std::string& Path() const { return m_path; }

 private:
  void StartOnce();  // caller holds m_lock

  std::mutex m_lock;  // the main window's thread writes; the lock keeps a stray other caller safe
  std::string m_path;
  LogFile m_file;
  bool m_started = false;
};

// The file name of the conversion log in the temporary folder.
inline constexpr char kConversionLogName[] = "brannock.log";

// The process's conversion log: the temporary folder followed by "brannock.log".
ConversionLog& TheConversionLog();

// printf-style: formats without a length limit and writes the stamped text to the conversion log
// (this platform has no debugger output channel besides it). With a null format the log is only
// flushed.
void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
