// The Monitor panel's arithmetic: kilobytes, percentages, times and the remaining-time estimate
// with the program's integer widths, and the answers derived for inputs other than transport
// streams.
#include "converter/ui/ProgressArithmetic.h"

#include <gtest/gtest.h>

#include "converter/ui/CInfoPane.h"
#include "converter/ui/CommandIds.h"
#include "converter/ui/InformationAnswers.h"
#include "converter/ui/MenuModel.h"

namespace {

using namespace progress;

TEST(ProgressArithmeticTest, TimeTextsDropDays) {
  struct Case {
    std::int64_t seconds;
    const char* shown;
  };
  const Case cases[] = {
      {0, "00:00"},       {59, "00:59"},       {3599, "59:59"},     {3600, "01:00:00"},
      {86399, "23:59:59"}, {90000, "01:00:00"}, {-5, "00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(FormatDuration(c.seconds), c.shown);
  }
  EXPECT_EQ(FormatHoursMinutesSeconds(5400), "01:30:00");
  EXPECT_EQ(StreamTimeText(35'999'999'999LL), "59:59") << "whole seconds, truncated";
}

TEST(ProgressArithmeticTest, PacketCountsReadAsDecimalNumbers) {
  struct Case {
    const char* text;
    std::int64_t value;
  };
  const Case cases[] = {
      {"5000000", 5000000}, {"", 0},          {"abc", 0},  {"  42 packets", 42},
      {"-7", -7},           {"+8", 8},        {"99999999999999999999999", INT64_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReadDecimal(c.text), c.value);
  }
}

TEST(ProgressArithmeticTest, TickTexts) {
  struct Case {
    const char* what;
    const char* cur;
    const char* max;
    std::optional<LONGLONG> position;
    DWORD start, now;
    const char* filePos;
    std::optional<std::string> complete, streamTime, remaining;
  };
  const Case cases[] = {
      // The truncations make exactly half show 49 %.
      {"half", "5000000", "10000000", std::nullopt, 0, 0, "917968 KB", "49%", std::nullopt, "00:00"},
      // 1024 KB of 10240 KB after ten seconds: 90 seconds left.
      {"a tenth", "5578", "55776", 600'000'000LL, 5000, 15000, "1024 KB", "10%", "01:00", "01:30"},
      // The tick counter wrapped between start and now.
      {"wrap", "5578", "55776", std::nullopt, 0xFFFFF000u, 10000u - 4096u, "1024 KB", "10%", std::nullopt, "01:30"},
      // Nothing answered: 0 KB, Complete and Remaining untouched.
      {"no answers", "", "", 36'000'000'000LL, 0, 1000, "0 KB", std::nullopt, "01:00:00", std::nullopt},
      // A recording that grows while it is converted: past the total, nothing is left.
      {"past the end", "60000", "55776", std::nullopt, 0, 10000, "11015 KB", "107%", std::nullopt, "00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TickInput input{c.cur, c.max, c.position, c.now, c.start};
    const TickTexts texts = ComputeTick(input);
    EXPECT_EQ(texts.filePos, c.filePos);
    EXPECT_EQ(texts.complete, c.complete);
    EXPECT_EQ(texts.streamTime, c.streamTime);
    EXPECT_EQ(texts.remaining, c.remaining);
  }
}

TEST(ProgressArithmeticTest, TickWritesOnlyWhatItHas) {
  CInfoPane pane;
  EXPECT_EQ(pane.Field(CInfoPane::IDC_COMPLETE), "-");
  EXPECT_EQ(pane.StatusText(), "Ready");
  pane.SetField(CInfoPane::IDC_STREAM_TIME, "12:34");
  WriteTick(ComputeTick(TickInput{"", "", std::nullopt, 0, 0}), pane);
  EXPECT_EQ(pane.Field(CInfoPane::IDC_FILE_POS), "0 KB");
  EXPECT_EQ(pane.Field(CInfoPane::IDC_COMPLETE), "-");
  EXPECT_EQ(pane.Field(CInfoPane::IDC_REMAINING), "-");
  EXPECT_EQ(pane.Field(CInfoPane::IDC_STREAM_TIME), "12:34") << "without graph seeking it keeps its text";
  EXPECT_FALSE(pane.SetField(CBasePane::IDC_STATUS_LINE, "not a value field"));
  EXPECT_EQ(pane.Field(1005), "");
}

TEST(InformationAnswersTest, PlayerDerivedVideoAnswers) {
  struct Case {
    long width, height;
    const char* size;
    const char* ratio;
    const char* aspect;
    bool hd;
  };
  const Case cases[] = {
      {1280, 720, "1280 x 720", "1.778", "16:9", true},
      {1024, 576, "1024 x 576", "1.778", "16:9", false},
      {720, 540, "720 x 540", "1.333", "4:3", false},
      {720, 576, "720 x 576", "1.250", "1.250", false},
      {1920, 1080, "1920 x 1080", "1.778", "16:9", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::string ratio;
    bool hd = false;
    EXPECT_EQ(information::VideoSizeAnswer(c.width, c.height, &ratio, &hd), c.size);
    EXPECT_EQ(ratio, c.ratio);
    EXPECT_EQ(information::AspectRatioAnswer(ratio), c.aspect);
    EXPECT_EQ(hd, c.hd);
  }
  std::string ratio = "kept";
  bool hd = true;
  EXPECT_EQ(information::VideoSizeAnswer(0, 576, &ratio, &hd), "");
  EXPECT_EQ(ratio, "kept");
  EXPECT_TRUE(hd);
  EXPECT_EQ(information::AspectRatioAnswer(""), "");
  EXPECT_EQ(information::FrameRateAnswer(25.0, 2997), "25.00 (29.97)");
}

TEST(InformationAnswersTest, PacketAnswersMoveInWholePercentSteps) {
  const std::uint64_t size = 188ull * 1'000'003;  // 1,000,003 packets
  EXPECT_EQ(information::MaxPacketAnswer(size + 187), "1000003");
  struct Case {
    LONGLONG position, duration;
    const char* answer;
  };
  const Case cases[] = {
      {0, 1000, "0"},          {9, 1000, "0"},      {10, 1000, "10000"},  {999, 1000, "990002"},
      {1000, 1000, "1000003"}, {-5, 1000, "0"},     {500, 0, ""},         {500, -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    EXPECT_EQ(information::CurPacketAnswer(size, c.position, c.duration), c.answer);
  }
  EXPECT_EQ(information::CurPacketAnswer(size, nullptr), "");
}

TEST(InformationAnswersTest, HdFlagAndTrackField) {
  EXPECT_TRUE(information::IsHdVideoSize("1280x720"));
  EXPECT_TRUE(information::IsHdVideoSize("1920 x 1080"));
  EXPECT_FALSE(information::IsHdVideoSize("720x576"));
  EXPECT_FALSE(information::IsHdVideoSize(""));

  MainMenu menu;
  menu.InitialiseForWindow();
  EXPECT_EQ(information::TrackFieldText(menu, 0), "Track 0");
  menu.SetAudioTracks({"English AC3", "Deutsch"});
  EXPECT_EQ(information::TrackFieldText(menu, 1), "Deutsch");
  EXPECT_EQ(information::TrackFieldText(menu, 4), "Track 4");
}

}  // namespace
