#pragma once
// The progress of a quiet conversion as one line on standard error, rewritten in place at every
// display tick, and only when standard error is a terminal: logs and scripts stay clean.
#include <cstdio>
#include <string>

class QuietProgressLine {
 public:
  // Shows the line when on and the stream is a terminal (null: standard error).
  void Enable(bool on, std::FILE* stream = nullptr);
  bool Enabled() const { return m_stream != nullptr; }
  void Show(const std::string& complete, const std::string& filePos, const std::string& streamTime,
            const std::string& remaining);
  // Ends the line, so what is printed next starts on a line of its own.
  void Finish();

 private:
  std::FILE* m_stream = nullptr;
  bool m_shown = false;
};
