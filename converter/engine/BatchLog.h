#pragma once
// The batch log: where reported messages go when nobody is there to click a message box. It lies
// beside the input (the input path without its extension, plus ".log") and is created by the first
// entry; its name stays fixed for the rest of the run even if another input is opened later.
#include <string>
#include <string_view>

#include "converter/engine/LogFile.h"

class BatchLog {
 public:
  // Writes one entry: the stamped text, then the stamped "Shutting down." line, and flushes. The
  // first entry opens the file and writes the stamped "Staring conversion of " header between
  // separator lines.
  void WriteEntry(const std::string& inputPath, std::string_view text);
  bool IsStarted() const { return m_started; }
  const std::string& Path() const { return m_file.Path(); }

 private:
  void StartOnce(const std::string& inputPath, const std::string& stamp);

  LogFile m_file;
  bool m_started = false;
};

// The batch log's path for an input: up to the file name's last "." followed by ".log"; a file
// name without "." gets ".log" appended; a ".log" input gets a second ".log" so the input itself
// is never written to; an empty input has no batch log ("").
std::string BatchLogPath(std::string_view inputPath);
