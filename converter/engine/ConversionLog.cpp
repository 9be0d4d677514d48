#include "converter/engine/ConversionLog.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/win/system.h"

void ConversionLog::StartOnce() {
  if (m_started) return;
  m_started = true;
  m_file.Open(m_path);
  m_file.Write(LogSeparatorLine());
  m_file.Write(LogTimeStamp() + "Brannock 2.5 - Logfile opened\n");
  m_file.Write(LogSeparatorLine());
}

void ConversionLog::Write(std::string_view text) {
  std::lock_guard lock(m_lock);
  StartOnce();
  std::string entry = LogTimeStamp();
  entry += text;
  m_file.Write(entry);
}

void ConversionLog::Flush() {
  std::lock_guard lock(m_lock);
  StartOnce();
  m_file.Flush();
}

ConversionLog& TheConversionLog() {
  static ConversionLog log(GetTempPath() + kConversionLogName);
  return log;
}

namespace {
std::string FormatMessage(const char* format, va_list arguments) {
  va_list sizing;
  va_copy(sizing, arguments);
  int length = std::vsnprintf(nullptr, 0, format, sizing);
  va_end(sizing);
  if (length < 0) return format;  // a format the C library rejects is logged as it stands
  std::vector<char> text(static_cast<size_t>(length) + 1);
  std::vsnprintf(text.data(), text.size(), format, arguments);
  return std::string(text.data(), static_cast<size_t>(length));
}
}  // namespace

void LogMessage(const char* format, ...) {
  if (!format) {
    TheConversionLog().Flush();
    return;
  }
  va_list arguments;
  va_start(arguments, format);
  std::string text = FormatMessage(format, arguments);
  va_end(arguments);
  TheConversionLog().Write(text);
}
