#include "converter/ui/QuietProgressLine.h"

#include <unistd.h>

void QuietProgressLine::Enable(bool on, std::FILE* stream) {
  if (!stream) stream = stderr;
  m_stream = on && ::isatty(::fileno(stream)) ? stream : nullptr;
}

void QuietProgressLine::Show(const std::string& complete, const std::string& filePos, const std::string& streamTime,
                             const std::string& remaining) {
  if (!m_stream) return;
  // "\r" returns to the line's start, "\033[K" clears what a longer earlier line left.
  std::fprintf(m_stream, "\r%4s  File Pos: %s  Stream Time: %s  Remaining: %s\033[K", complete.c_str(),
               filePos.c_str(), streamTime.c_str(), remaining.c_str());
  std::fflush(m_stream);
  m_shown = true;
}

void QuietProgressLine::Finish() {
  if (!m_stream || !m_shown) return;
  std::fputc('\n', m_stream);
  std::fflush(m_stream);
  m_shown = false;
}
