#pragma once
// The arithmetic of the Monitor panel's display tick (every 500 ms while a file is loaded), apart
// from any window: from the source's CURPACKET and MAXPACKET answers, the conversion graph's
// position and the tick counts, the texts of File Pos, Complete, Stream Time and Remaining.
//
// Widths are the program's: packet counts are read as decimal numbers and turned into kilobytes
// in 64 bits; Complete and the estimated total are unsigned 64-bit divisions; the elapsed time is
// the difference of two 32-bit tick counts (so it survives the counter's wrap-around) and the
// remaining seconds are 32-bit.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/types.h"

class CInfoPane;

namespace progress {

// Time texts of a whole number of seconds, two digits a field: "%M:%S" and "%H:%M:%S", where
// %S = s mod 60, %M = (s / 60) mod 60, %H = (s / 3600) mod 24 (days are not shown). A negative
// count shows as 0.
std::string FormatMinutesSeconds(std::int64_t seconds);
std::string FormatHoursMinutesSeconds(std::int64_t seconds);
// "%M:%S" below one hour, "%H:%M:%S" from one hour on.
std::string FormatDuration(std::int64_t seconds);

// A decimal number at the start of text (leading blanks and a sign allowed); 0 for text without
// digits; saturates instead of overflowing.
std::int64_t ReadDecimal(std::string_view text);

// Kilobytes of a count of 188-byte packets: (packets × 188) >> 10 in 64 bits; 0 for a negative count.
std::uint64_t PacketKilobytes(std::int64_t packets);

struct TickInput {
  std::string curPacket;              // the CURPACKET answer (may be empty)
  std::string maxPacket;              // the MAXPACKET answer (may be empty)
  std::optional<LONGLONG> position;   // the conversion graph's position (100 ns), when it has seeking
  DWORD now = 0;                      // tick count now (ms)
  DWORD startTick = 0;                // tick count when the conversion started (ms)
};

// The texts one tick writes; a field without a value here is left as it is.
struct TickTexts {
  std::string filePos;                    // 1013: "%ld KB"
  std::optional<std::string> complete;    // 1017: "%d%%", when the total is known
  std::optional<std::string> streamTime;  // 1015: when there is a position
  std::optional<std::string> remaining;   // 1016: once anything was read
};

TickTexts ComputeTick(const TickInput& input);

// Complete: K × 100 / T; nothing when T is 0.
std::optional<std::string> CompleteText(std::uint64_t kilobytesRead, std::uint64_t kilobytesTotal);
// Remaining: elapsed e = now − start (32-bit wrap-around); estimated total E = e × T / K; the
// seconds left (E − e) / 1000. Nothing when K is 0; "00:00" once the read part reaches the total
// (a recording that grows while it is converted), rather than a wrapped-around difference.
std::optional<std::string> RemainingText(DWORD now, DWORD startTick, std::uint64_t kilobytesRead,
                                         std::uint64_t kilobytesTotal);
// Stream Time: whole seconds of a media time (100 ns units).
std::string StreamTimeText(LONGLONG position);

// Writes a tick's texts into the Monitor panel (the fields it leaves out keep their text).
void WriteTick(const TickTexts& texts, CInfoPane& pane);

}  // namespace progress
