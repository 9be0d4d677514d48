#include "converter/ui/ProgressArithmetic.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <limits>

#include "converter/ui/CInfoPane.h"

namespace progress {

namespace {
constexpr std::uint64_t kPacketSize = 188;
constexpr LONGLONG kUnitsPerSecond = 10'000'000;
constexpr std::int64_t kOneHour = 3600;

struct ClockFields {
  int hours, minutes, seconds;
};

ClockFields Split(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return ClockFields{static_cast<int>((seconds / 3600) % 24), static_cast<int>((seconds / 60) % 60),
                     static_cast<int>(seconds % 60)};
}
}  // namespace

std::string FormatMinutesSeconds(std::int64_t seconds) {
  const ClockFields f = Split(seconds);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d", f.minutes, f.seconds);
  return text;
}

std::string FormatHoursMinutesSeconds(std::int64_t seconds) {
  const ClockFields f = Split(seconds);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", f.hours, f.minutes, f.seconds);
  return text;
}

std::string FormatDuration(std::int64_t seconds) {
  return seconds < kOneHour ? FormatMinutesSeconds(seconds) : FormatHoursMinutesSeconds(seconds);
}

std::int64_t ReadDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    const int digit = text[i] - '0';
    if (value > (kMax - digit) / 10) {
      value = kMax;
      break;
    }
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

std::uint64_t PacketKilobytes(std::int64_t packets) {
  if (packets <= 0) return 0;
  // 188 × packets stays within 64 bits for any count a file of up to 2^56 bytes can have.
  const auto count = static_cast<std::uint64_t>(packets);
  if (count > std::numeric_limits<std::uint64_t>::max() / kPacketSize) return std::numeric_limits<std::uint64_t>::max() >> 10;
  return (count * kPacketSize) >> 10;
}

std::optional<std::string> CompleteText(std::uint64_t kilobytesRead, std::uint64_t kilobytesTotal) {
  if (kilobytesTotal == 0) return std::nullopt;
  char text[32];
  std::snprintf(text, sizeof text, "%" PRIu64 "%%", kilobytesRead * 100 / kilobytesTotal);
  return std::string(text);
}

std::optional<std::string> RemainingText(DWORD now, DWORD startTick, std::uint64_t kilobytesRead,
                                         std::uint64_t kilobytesTotal) {
  if (kilobytesRead == 0) return std::nullopt;
  const DWORD elapsed = now - startTick;
  const std::uint64_t estimatedTotal = static_cast<std::uint64_t>(elapsed) * kilobytesTotal / kilobytesRead;
  if (estimatedTotal <= elapsed) return FormatDuration(0);
  const auto remaining = static_cast<DWORD>(estimatedTotal - elapsed) / 1000;
  return FormatDuration(remaining);
}

std::string StreamTimeText(LONGLONG position) { return FormatDuration(position / kUnitsPerSecond); }

TickTexts ComputeTick(const TickInput& input) {
  const std::uint64_t read = PacketKilobytes(ReadDecimal(input.curPacket));
  const std::uint64_t total = PacketKilobytes(ReadDecimal(input.maxPacket));
  TickTexts texts;
  char filePos[32];
  std::snprintf(filePos, sizeof filePos, "%" PRIu64 " KB", read);
  texts.filePos = filePos;
  texts.complete = CompleteText(read, total);
  if (input.position) texts.streamTime = StreamTimeText(*input.position);
  texts.remaining = RemainingText(input.now, input.startTick, read, total);
  return texts;
}

void WriteTick(const TickTexts& texts, CInfoPane& pane) {
  pane.SetField(CInfoPane::IDC_FILE_POS, texts.filePos);
  if (texts.complete) pane.SetField(CInfoPane::IDC_COMPLETE, *texts.complete);
  if (texts.streamTime) pane.SetField(CInfoPane::IDC_STREAM_TIME, *texts.streamTime);
  if (texts.remaining) pane.SetField(CInfoPane::IDC_REMAINING, *texts.remaining);
}

}  // namespace progress
