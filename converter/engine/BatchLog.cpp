#include "converter/engine/BatchLog.h"

std::string BatchLogPath(std::string_view inputPath) {
  if (inputPath.empty()) return {};
  size_t dot = inputPath.rfind('.');
  size_t slash = inputPath.rfind('/');
  // A "." inside a folder name is no extension: the log must stay beside the input.
  bool hasExtension = dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
  std::string path(hasExtension ? inputPath.substr(0, dot) : inputPath);
  path += ".log";
  if (path == inputPath) path += ".log";
  return path;
}

void BatchLog::StartOnce(const std::string& inputPath, const std::string& stamp) {
  if (m_started) return;
  m_started = true;
  std::string path = BatchLogPath(inputPath);
  if (path.empty()) {
    std::string why = "brannock: no input file, so no batch log; its entries follow here\n";
    m_file.Write(why);  // not open: goes to standard error
  } else {
    m_file.Open(path);
  }
  m_file.Write(LogSeparatorLine());
  m_file.Write(stamp + "Staring conversion of " + inputPath + "\n");
  m_file.Write(LogSeparatorLine());
}

void BatchLog::WriteEntry(const std::string& inputPath, std::string_view text) {
  std::string stamp = LogTimeStamp();
  StartOnce(inputPath, stamp);
  std::string entry = stamp;
  entry += text;
  entry += "\n";
  entry += stamp;
  entry += "Shutting down.\n";
  m_file.Write(entry);
  m_file.Flush();
}
