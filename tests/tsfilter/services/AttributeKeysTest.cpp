#include "tsfilter/services/AttributeKeys.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"

namespace tsfilter {
namespace {

class FakeSource : public AttributeSource {
 public:
  AttributeVideoFormat video{720, 576, 16, 9, 25.0};
  AttributeAudioTrack audio{0x1c1, 0x81};
  std::vector<AttributePidRow> rows{{0, 40, 0}, {0x100, 3000, 0xe0}, {0x101, 500, 249}};
  std::map<std::int64_t, std::string> names{{1, "Kanal Eins"}, {3, ""}};
  bool noPmt = false;
  bool pin = true;
  std::int64_t duration = 36'615'250'000;
  std::vector<std::string> h264Rows{"Profile: High", "Level: 4.0 "};
  std::uint32_t prefDemux = 1;
  std::intptr_t notifyWindow = -1;

  AttributeVideoFormat VideoFormat() const override { return video; }
  AttributeAudioTrack SelectedAudioTrack() const override { return audio; }
  std::int64_t PidRowCount() const override { return static_cast<std::int64_t>(rows.size()); }
  AttributePidRow PidRow(std::int64_t index) const override { return rows.at(static_cast<std::size_t>(index)); }
  std::uint16_t SelectedProgramPmtPid() const override { return 0x1000; }
  std::string ServiceName(std::int64_t number) const override {
    auto found = names.find(number);
    return found == names.end() ? std::string() : found->second;
  }
  bool NoPmt() const override { return noPmt; }
  bool HasOutputPin() const override { return pin; }
  std::int64_t LastVideoPts() const override { return 90 * 3'723'004; }
  std::int64_t CurrentPacket() const override { return 4242; }
  std::int64_t MediaDuration() const override { return duration; }
  std::int64_t H264RowCount() const override { return static_cast<std::int64_t>(h264Rows.size()); }
  std::string H264Row(std::int64_t index) const override { return h264Rows.at(static_cast<std::size_t>(index)); }
  std::int64_t FileLength() const override { return 250'000LL * 188 + 100; }
  void SetPrefDemux(std::uint32_t value) override { prefDemux = value; }
  void SetNotifyWindow(std::intptr_t window) override { notifyWindow = window; }
};

struct KeyCase {
  const char* key;
  const char* answer;
};

TEST(AttributeKeysTest, AnswersEveryKeyWithItsExactText) {
  const KeyCase cases[] = {
      {"VIDEOSIZE", "720 x 576"},
      {"VIDEOSIZE2", ""},  // exact key: a longer text matches nothing
      {"videosize", ""},   // keys are case-sensitive
      {"FRAMERATE", "25.00"},
      {"ASPECTRATIO", "16:9"},
      {"AUDIOPID", "0x01c1 (449)"},
      {"AUDIOFORMAT", "13818-1 priv AC3"},
      {"AUDIOTYPE", "81"},
      {"VIDEOPTS", "01:02:03.004"},
      {"NUMPIDS", "3"},
      {"NUMPACKETS", "3540"},
      {"PMTPID", "4096"},
      {"GETPID(0)", "0x0000 (0)"},
      {"GETPID(2)", "0x0101 (257)"},
      {"GETPID(3)", ""},  // one past the last row
      {"GETPID(-1)", ""},
      {"GETPID(99999999999999999999999)", ""},
      {"GETPIDS", "0x0000 (0)"},  // read as the prefix key with an unreadable argument (0)
      {"GETPID", "0x0000 (0)"},
      {"GETPACKETS(1)", "3000"},
      {"GETTYPE(2)", "249"},
      {"GETTYPE(7)", ""},
      {"GETNAME(1)", "Kanal Eins"},
      {"GETNAME(3)", "Program 3"},
      {"GETNAME(5)", "Program 5"},
      {"CURPACKET", "4242"},
      {"MAXPACKET", "250000"},
      {"H264.NUMPARAMS", "2"},
      {"H264.GETPARAM(1)", "Level: 4.0 "},
      {"H264.GETPARAM(2)", ""},
      {"MEDIALEN", "01:01:01.525"},
      {"NOSUCHKEY", ""},
      {"", ""},
  };
  for (const KeyCase& c : cases) {
    FakeSource source;
    EXPECT_EQ(AnswerAttribute(c.key, source), c.answer) << c.key;
  }
}

TEST(AttributeKeysTest, AudioFormatFollowsTheStreamType) {
  const std::pair<std::uint8_t, const char*> cases[] = {
      {3, "11172-3 Audio"},     {4, "13818-3 Audio"},      {6, "13818-1 priv AC3"},
      {128, "13818-1 priv AC3"}, {249, "13818-1 priv AC3"}, {248, "14496 3 priv AAC"},
      {0x0f, ""},
  };
  for (auto [type, text] : cases) {
    FakeSource source;
    source.audio.streamType = type;
    EXPECT_EQ(AnswerAttribute("AUDIOFORMAT", source), text) << int(type);
  }
}

TEST(AttributeKeysTest, StreamStateKeysAreEmptyWithoutAnOutputPin) {
  FakeSource source;
  source.pin = false;
  for (const char* key : {"VIDEOPTS", "CURPACKET", "H264.NUMPARAMS", "H264.GETPARAM(0)", "MEDIALEN"}) {
    EXPECT_EQ(AnswerAttribute(key, source), "") << key;
  }
  EXPECT_EQ(AnswerAttribute("MAXPACKET", source), "250000");
}

TEST(AttributeKeysTest, ProgramNamesWithoutAPmtSayProgramOrService) {
  FakeSource source;
  source.noPmt = true;
  EXPECT_EQ(AnswerAttribute("GETNAME(5)", source), "Program/Service 5");
  EXPECT_EQ(AnswerAttribute("GETNAME(1)", source), "Kanal Eins");
}

TEST(AttributeKeysTest, CommandsChangeTheFilterOnlyAsAllowed) {
  FakeSource source;
  EXPECT_EQ(AnswerAttribute("PREFDEMUX(1)", source), "");
  EXPECT_EQ(source.prefDemux, 1u);
  EXPECT_EQ(AnswerAttribute("PREFDEMUX(0)", source), "Any Push Demux");
  EXPECT_EQ(source.prefDemux, 0u);

  EXPECT_EQ(AnswerAttribute("NOTIFYWND(123456789)", source), "Notification on");
  EXPECT_EQ(source.notifyWindow, 123456789);
  EXPECT_EQ(AnswerAttribute("NOTIFYWND(0)", source), "Notification on");
  EXPECT_EQ(source.notifyWindow, 0);
}

TEST(AttributeKeysTest, MediaTimeKeepsHoursBeyondTwoDigits) {
  EXPECT_EQ(FormatMediaTime(0), "00:00:00.000");
  EXPECT_EQ(FormatMediaTime(123LL * 3600000 + 59 * 60000 + 58 * 1000 + 7), "123:59:58.007");
}

TEST(AttributeKeysTest, InterfaceAnswersAreTaskAllocatedWideTextOrNull) {
  FakeSource source;
  LPWSTR answer = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(GetAttribute(source, nullptr, &answer), E_INVALIDARG);
  EXPECT_EQ(GetAttribute(source, u"VIDEOSIZE", nullptr), E_INVALIDARG);

  EXPECT_EQ(GetAttribute(source, u"NOSUCHKEY", &answer), S_OK);
  EXPECT_EQ(answer, nullptr);

  source.names[7] = "Télé 7";
  ASSERT_EQ(GetAttribute(source, u"GETNAME(7)", &answer), S_OK);
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(std::u16string(answer), u"Télé 7");
  CoTaskMemFree(answer);
}

}  // namespace
}  // namespace tsfilter

#include "tsfilter/services/AudioTrackName.h"

namespace tsfilter {
namespace {

TEST(AudioTrackNameTest, LanguageOrIndexThenKindWithTrailingBlank) {
  struct Case {
    AudioKind kind;
    const char* language;
    int index;
    const char* name;
  };
  const Case cases[] = {
      {AudioKind::Ac3, "deu", 1, "Audio (deu) (AC3) "},
      {AudioKind::Mpeg, "", 2, "Audio Track 2 (MPG) "},
      {AudioKind::Aac, "eng", 0, "Audio (eng) (AAC) "},
      {AudioKind::None, "", 0, "Audio Track 0 (MPG) "},
  };
  for (const Case& c : cases) {
    AudioTrack track;
    track.kind = c.kind;
    CopyText(track.language, c.language);
    EXPECT_EQ(AudioTrackName(track, c.index), c.name);
  }
}

}  // namespace
}  // namespace tsfilter
