#include "tsfilter/services/AttributeKeys.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/com/hresult.h"
#include "platform/com/wstring.h"

namespace tsfilter {
namespace {

constexpr std::int64_t kPacketSize = 188;

template <class... Args>
std::string Format(const char* pattern, Args... args) {
  char text[96];
  int length = std::snprintf(text, sizeof text, pattern, args...);
  if (length < 0) return {};
  return std::string(text, static_cast<std::size_t>(length) < sizeof text ? static_cast<std::size_t>(length)
                                                                          : sizeof text - 1);
}

// Reads "(number" after the prefix; a missing or unreadable number reads as 0, a number beyond
// 64 bits saturates (and so falls outside every index range).
std::int64_t ReadArgument(const std::string& key, std::size_t prefixLength) {
  if (key.size() <= prefixLength || key[prefixLength] != '(') return 0;
  const char* digits = key.c_str() + prefixLength + 1;
  char* end = nullptr;
  long long value = std::strtoll(digits, &end, 10);
  if (end == digits) return 0;
  return value;
}

bool InRange(std::int64_t index, std::int64_t count) { return index >= 0 && index < count; }

std::string AudioFormatText(std::uint8_t streamType) {
  switch (streamType) {
    case 3: return "11172-3 Audio";
    case 4: return "13818-3 Audio";
    case 6:
    case 128:
    case 129:
    case 249: return "13818-1 priv AC3";
    case 248: return "14496 3 priv AAC";
    default: return {};
  }
}

std::string PidText(std::uint16_t pid) { return Format("0x%04x (%d)", pid, pid); }

std::string ProgramName(AttributeSource& source, std::int64_t programNumber) {
  std::string name = source.ServiceName(programNumber);
  if (!name.empty()) return name;
  return Format(source.NoPmt() ? "Program/Service %" PRId64 : "Program %" PRId64, programNumber);
}

std::string AnswerPrefDemux(AttributeSource& source, std::int64_t value) {
  if (value != 0) return {};
  source.SetPrefDemux(0);
  return "Any Push Demux";
}

using ExactAnswer = std::string (*)(AttributeSource&);
using PrefixAnswer = std::string (*)(AttributeSource&, std::int64_t argument);

struct ExactKey {
  const char* key;
  ExactAnswer answer;
};

struct PrefixKey {
  const char* key;
  bool needsPin;
  PrefixAnswer answer;
};

const ExactKey kExactKeys[] = {
    {"VIDEOSIZE", [](AttributeSource& s) { return Format("%d x %d", s.VideoFormat().width, s.VideoFormat().height); }},
    {"FRAMERATE", [](AttributeSource& s) { return Format("%2.2f", s.VideoFormat().frameRate); }},
    {"ASPECTRATIO",
     [](AttributeSource& s) { return Format("%d:%d", s.VideoFormat().aspectX, s.VideoFormat().aspectY); }},
    {"AUDIOPID", [](AttributeSource& s) { return PidText(s.SelectedAudioTrack().pid); }},
    {"AUDIOFORMAT", [](AttributeSource& s) { return AudioFormatText(s.SelectedAudioTrack().streamType); }},
    {"AUDIOTYPE", [](AttributeSource& s) { return Format("%02x", s.SelectedAudioTrack().streamType); }},
    {"VIDEOPTS",
     [](AttributeSource& s) { return s.HasOutputPin() ? FormatMediaTime(s.LastVideoPts() / 90) : std::string(); }},
    {"NUMPIDS", [](AttributeSource& s) { return Format("%" PRId64, s.PidRowCount()); }},
    {"NUMPACKETS",
     [](AttributeSource& s) {
       std::int64_t total = 0;
       for (std::int64_t row = 0; row < s.PidRowCount(); ++row) total += s.PidRow(row).packets;
       return Format("%" PRId64, total);
     }},
    {"PMTPID", [](AttributeSource& s) { return Format("%d", s.SelectedProgramPmtPid()); }},
};

const PrefixKey kPrefixKeys[] = {
    {"GETPID", false,
     [](AttributeSource& s, std::int64_t i) { return InRange(i, s.PidRowCount()) ? PidText(s.PidRow(i).pid) : ""; }},
    {"GETPACKETS", false,
     [](AttributeSource& s, std::int64_t i) {
       return InRange(i, s.PidRowCount()) ? Format("%" PRIu32, s.PidRow(i).packets) : "";
     }},
    {"GETTYPE", false,
     [](AttributeSource& s, std::int64_t i) {
       return InRange(i, s.PidRowCount()) ? Format("%d", s.PidRow(i).contentCode) : "";
     }},
    {"GETNAME", false, [](AttributeSource& s, std::int64_t number) { return ProgramName(s, number); }},
    {"CURPACKET", true, [](AttributeSource& s, std::int64_t) { return Format("%" PRId64, s.CurrentPacket()); }},
    {"MAXPACKET", false,
     [](AttributeSource& s, std::int64_t) { return Format("%" PRId64, s.FileLength() / kPacketSize); }},
    {"PREFDEMUX", false, AnswerPrefDemux},
    {"NOTIFYWND", false,
     [](AttributeSource& s, std::int64_t window) {
       s.SetNotifyWindow(static_cast<std::intptr_t>(window));
       return std::string("Notification on");
     }},
    {"H264.NUMPARAMS", true, [](AttributeSource& s, std::int64_t) { return Format("%" PRId64, s.H264RowCount()); }},
    {"H264.GETPARAM", true,
     [](AttributeSource& s, std::int64_t i) { return InRange(i, s.H264RowCount()) ? s.H264Row(i) : ""; }},
    {"MEDIALEN", true, [](AttributeSource& s, std::int64_t) { return FormatMediaTime(s.MediaDuration() / 10000); }},
};

}  // namespace

std::string FormatMediaTime(std::int64_t t) {
  return Format("%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%03" PRId64, t / 3600000, (t % 3600000) / 60000,
                (t % 60000) / 1000, t % 1000);
}

std::string AnswerAttribute(const std::string& key, AttributeSource& source) {
  for (const ExactKey& entry : kExactKeys) {
    if (key == entry.key) return entry.answer(source);
  }
  for (const PrefixKey& entry : kPrefixKeys) {
    const std::string prefix = entry.key;
    if (key.compare(0, prefix.size(), prefix) != 0) continue;
    if (entry.needsPin && !source.HasOutputPin()) return {};
    return entry.answer(source, ReadArgument(key, prefix.size()));
  }
  return {};
}

HRESULT GetAttribute(AttributeSource& source, LPCWSTR key, LPWSTR* answer) {
  if (!key || !answer) return E_INVALIDARG;
  *answer = nullptr;
  const std::string text = AnswerAttribute(Utf16ToUtf8(key), source);
  if (text.empty()) return S_OK;
  *answer = CoTaskMemDupUtf8(text);
  return *answer ? S_OK : E_OUTOFMEMORY;
}

}  // namespace tsfilter
